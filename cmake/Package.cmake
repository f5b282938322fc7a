# Placeholder until the package build steps land.
function(tamblor_attach_package target)
endfunction()
