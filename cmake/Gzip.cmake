# Compresses one file the way Debian's packaging does (best compression, no name or time stamp
# in the header, so the result depends on the content only):
#   cmake -DIN=<file> -DOUT=<file.gz> -P Gzip.cmake
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9nc INPUT_FILE ${IN} OUTPUT_FILE ${OUT}.tmp
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE ${OUT}.tmp)
    message(FATAL_ERROR "gzip could not compress ${IN}")
endif()
file(RENAME ${OUT}.tmp ${OUT})
