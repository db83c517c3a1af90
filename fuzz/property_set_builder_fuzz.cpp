// Builds property sets from arbitrary grades. The input is a keyword file,
// read into a record, optionally followed by a NUL and chunks that overlay
// raw bytes onto the record (two bytes of offset, then up to eight bytes),
// so that numbers take any bit pattern (NaN, infinities, huge values) and
// texts may lose their terminating NUL. Whatever the record holds, the
// build gives one set whose texts fit their field and whose codes hold at
// most 256 values. The generic data is a small directory made at start-up.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "convert/property_set_builder.h"
#include "material/asc_reader.h"
#include "udm/udm.h"

namespace {

using tarnvel::material::MaterialRecord;

void WriteFile(const std::string& path, const char* text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Writes a model of one set per (type, label, name) with the given codes.
void WriteModel(const std::string& path, std::int32_t type, const char* names[], int count) {
    UdmModel* model = nullptr;
    UdmModel* previous = udm_model_current();
    if (udm_model_open(nullptr, UDM_MODE_TEXT, &model) != UDM_OK) std::abort();
    const double tait[13] = {441,  1.5e-7, 0.00127, 8.9e-7, 1e8, 0.0045, 0.00115,
                             3e-7, 2.5e8,  0.0035,  1.2e-4, 0.1, 1.5e-8};
    const double one = 1;
    for (int i = 0; i < count; ++i) {
        auto* tset = static_cast<UdmTset*>(udm_entity_new(UDM_CLASS_TSET, type, 0));
        udm_tset_set_description(tset, names[i]);
        for (std::int32_t code : {1004, 1602, 1702, 1800, 1808, 3002, 3602, 11002}) {
            udm_tcod_set_values(udm_tset_code(tset, code, 1), 13, tait);
        }
        udm_tcod_set_values(udm_tset_code(tset, 1991, 1), 1, &one);
    }
    if (udm_model_write(path.c_str(), UDM_MODE_TEXT) != UDM_OK) std::abort();
    udm_model_destroy(&model);
    udm_model_select(previous);
}

const tarnvel::convert::MUdbConverter& Converter() {
    static const auto converter = [] {
        char pattern[] = "/tmp/property_set_builder_fuzz_XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        const std::string dir = pattern;
        WriteFile(dir + "/family_name.csv", "PP,Polypropylene\n");
        WriteFile(dir + "/link.csv", "GEN-PP,1\nGENERIC PP-T20,1\n");
        WriteFile(dir + "/pvt_and_mechanical_link.csv", "GEN-PP,1\nGENERIC PP-T20,1\n");
        WriteFile(dir + "/genericclass2mechanical.csv", "PP,1\nMISC,1\nMISC-CRYSTALLINE,1\n");
        WriteFile(dir + "/generic_class.csv", "PP,230\n");
        const char* generic[] = {"Generic PP"};
        WriteModel(dir + "/generic_data.udb", 21000, generic, 1);
        const char* fillers[] = {"Glass Fibre", "Talc", "Miscellaneous"};
        WriteModel(dir + "/filler.udb", 21200, fillers, 3);
        auto loaded = std::make_unique<tarnvel::convert::MUdbConverter>(dir);
        for (const char* name : {"family_name.csv", "link.csv", "pvt_and_mechanical_link.csv",
                                 "genericclass2mechanical.csv", "generic_class.csv",
                                 "generic_data.udb", "filler.udb"}) {
            std::remove((dir + "/" + name).c_str());
        }
        rmdir(dir.c_str());
        return loaded;
    }();
    return *converter;
}

std::unique_ptr<MaterialRecord> ReadRecord(const std::uint8_t* data, std::size_t size) {
    char path[] = "/tmp/property_set_builder_fuzz_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return nullptr;
    for (std::size_t written = 0; written < size;) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    close(fd);
    auto record = tarnvel::material::MAscReader().Read(path);
    std::remove(path);
    std::remove((std::string(path) + tarnvel::material::kKeywordLogSuffix).c_str());
    return record;
}

// Overlays the chunks onto the record's bytes; the flag stays 0 or 1.
void Overlay(MaterialRecord& record, const std::uint8_t* data, std::size_t size) {
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    while (size >= 2) {
        const std::size_t offset = (data[0] | (data[1] << 8)) % sizeof record;
        const std::size_t length = std::min({size - 2, std::size_t{8}, sizeof record - offset});
        std::memcpy(bytes + offset, data + 2, length);
        data += 2 + length;
        size -= 2 + length;
    }
    unsigned char flag = 0;
    std::memcpy(&flag, &record.crystalline, 1);
    flag &= 1;
    std::memcpy(&record.crystalline, &flag, 1);
}

void CheckSet(UdmModel* model) {
    UdmModel* previous = udm_model_current();
    udm_model_select(model);
    if (udm_class_count(UDM_CLASS_TSET) != 1) std::abort();
    const auto* tset = static_cast<UdmTset*>(udm_entity_first(UDM_CLASS_TSET, 21000));
    if (tset == nullptr || std::strlen(udm_tset_description(tset)) > 255) std::abort();
    for (const UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next) {
        if (tcod->count > 256) std::abort();
        if (tcod->description != nullptr && std::strlen(tcod->description) > 255) std::abort();
    }
    udm_model_select(previous);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, '\0', size));
    const std::size_t text_size = end == nullptr ? size : static_cast<std::size_t>(end - data);
    auto record = ReadRecord(data, text_size);
    if (record == nullptr) return 0;
    if (end != nullptr) Overlay(*record, end + 1, size - text_size - 1);

    UdmModel* model = tarnvel::convert::BuildPropertySet(Converter(), *record);
    if (model == nullptr) std::abort();
    CheckSet(model);
    udm_model_destroy(&model);
    return 0;
}
