# The warnings every target of the project builds with, its tests, benchmarks and fuzz targets
# included, as errors: those of GCC's and Clang's -Wall and -Wextra, and the ones that catch
# what C++ lets pass quietly: a narrowing or sign-changing conversion, a C cast, a name that
# hides another, an overload that hides a virtual function, and what the standard does not
# allow.
function(mp3player_strict_warnings target)
    target_compile_features(${target} PUBLIC cxx_std_20)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast
                           -Woverloaded-virtual -Wsign-conversion -Werror)
endfunction()
