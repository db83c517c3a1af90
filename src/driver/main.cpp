// tarnvel: converts plastic-material property data into a UDB file.
#include "convert/vx2k_to_udb.h"
#include "driver/program.h"
#include "driver/rax_pipeline.h"
#include "services/libvxenv.h"

int main(int argc, char** argv) {
    using namespace tarnvel::driver;
    const ProductHooks product{envHandleVersionOptions, envSetRelease, envSelectProduct};
    Converters converters = UnavailableConverters();
    converters.vxmat = [](const char* vxmat, const char* udb) {
        tarnvel::convert::MVx2kToUdb converter;
        return converter.convert(vxmat, udb);
    };
    if (BuiltInMaterialDatabase().CompleteForAscii()) {
        converters.ascii = [](const char* asc, const char* udb, const char* vtpath) {
            MAsciiToUdb converter(BuiltInMaterialDatabase());
            return converter.Convert(asc, udb, vtpath);
        };
    }
    if (BuiltInMaterialDatabase().Complete()) {
        converters.rax = [](const char* rax, const char* udb, const char* vtpath) {
            MRaxToUdb converter(BuiltInMaterialDatabase());
            return converter.Convert(rax, udb, vtpath);
        };
    }
    return RunProgram(argc, argv, product, converters);
}
