// tamblor-mkimages meets something planted at an image's name: it reads no FIFO (which would
// wait forever for a writer) and follows no link; it says so and fails, leaving the thing as
// it was.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tamblor::test {
namespace {

namespace fs = std::filesystem;

enum class Planted { Fifo, LinkToFifo };

struct PlantedCase {
    const char* name;
    Planted planted;
};

class MakeImagesPlanted : public testing::TestWithParam<PlantedCase> {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tamblor-mkimages-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        fs::create_directory(m_dir / "out");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // Runs the tool on `out`; a run that outlasts the alarm ends by SIGALRM.
    int Run() const {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(10);
            const std::string out = (m_dir / "out").string();
            ::execl(TAMBLOR_MKIMAGES, TAMBLOR_MKIMAGES, out.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return status;
    }

    fs::path m_dir;
};

TEST_P(MakeImagesPlanted, IsNeitherReadNorFollowed) {
    const fs::path image = m_dir / "out" / "segment0.bin";
    const fs::path fifo = GetParam().planted == Planted::Fifo ? image : m_dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    if (GetParam().planted == Planted::LinkToFifo) fs::create_symlink(fifo, image);

    const int status = Run();
    ASSERT_TRUE(WIFEXITED(status)) << "the tool hung or was killed: status " << status;
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    EXPECT_EQ(fs::symlink_status(image).type(),
              GetParam().planted == Planted::Fifo ? fs::file_type::fifo : fs::file_type::symlink);
}

INSTANTIATE_TEST_SUITE_P(Cases, MakeImagesPlanted,
                         testing::Values(PlantedCase{"Fifo", Planted::Fifo},
                                         PlantedCase{"LinkToFifo", Planted::LinkToFifo}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tamblor::test
