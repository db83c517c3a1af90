// tarnvel: converts plastic-material property data into a UDB file.
#include "driver/program.h"
#include "services/libvxenv.h"

int main(int argc, char** argv) {
    using namespace tarnvel::driver;
    const ProductHooks product{envHandleVersionOptions, envSetRelease, envSelectProduct};
    const Converters converters = UnavailableConverters();
    return RunProgram(argc, argv, product, converters);
}
