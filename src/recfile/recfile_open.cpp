// Opening files on units: the general open, open of an existing file,
// creation of a new one and open for append.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "recfile/recfile.h"
#include "recfile/recparse.h"
#include "recfile/rf_units.h"

namespace rf = tarnvel::recfile;

namespace {

constexpr int kInUse = -4;

// Prints the message when the level allows it.
void Say(int level, int limit, std::string_view text) {
    if (std::abs(level) <= limit) WRTMSG(text);
}

rf::RfStatus StatusOf(int value) {
    switch (value) {
        case 2:
            return rf::RfStatus::kNew;
        case 3:
            return rf::RfStatus::kScratch;
        case 4:
            return rf::RfStatus::kUnknown;
        default:
            return rf::RfStatus::kOld;
    }
}

int OpenWith(int unit, std::string_view name, rf::RfStatus status, int record_length,
             bool read_only) {
    const int values[] = {static_cast<int>(status) + 1, 2, 2, record_length};
    return record_length > 0
               ? OPNFIL(unit, name, values, "SAFR", read_only ? "R" : "", 4, read_only ? 1 : 0)
               : OPNFIL(unit, name, values, "S", read_only ? "R" : "", 1, read_only ? 1 : 0);
}

// Reads to the end of a sequential unit and steps back, so that the next
// record written is appended.
bool PositionAtEnd(int unit) {
    std::string record;
    int status;
    while ((status = rf::rfReadRecord(unit, &record)) == rf::kRfOk) {
    }
    return status == rf::kRfEnd && rf::rfBackspace(unit) == rf::kRfOk;
}

}  // namespace

int OPNFIL(int unit, std::string_view name, std::span<const int> values, std::string_view letters,
           std::string_view access, int option_count, int access_count) {
    if (rf::rfIsOpen(unit)) rf::rfClose(unit);
    int status = 1, access_kind = 1, form = 1, record_length = 0;
    bool length_given = false;
    const std::size_t count = std::min<std::size_t>(
        {static_cast<std::size_t>(std::max(option_count, 0)), letters.size(), values.size()});
    for (std::size_t i = 0; i < count; ++i) {
        const int value = values[i];
        switch (letters[i]) {
            case 'S':
                if (value >= 1 && value <= 4) status = value;
                break;
            case 'A':
                if (value >= 1 && value <= 2) access_kind = value;
                break;
            case 'F':
                if (value >= 1 && value <= 2) form = value;
                break;
            case 'R':
                length_given = true;
                record_length = value;
                break;
            default:
                break;
        }
    }
    if (length_given && record_length < 1) return -1;
    rf::RfOpenOptions options;
    options.status = StatusOf(status);
    options.direct = access_kind == 2;
    options.unformatted = form == 2;
    options.record_length = record_length;
    const std::size_t access_letters =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(access_count, 0)), access.size());
    for (std::size_t i = 0; i < access_letters; ++i) {
        if (access[i] == 'R') options.read_only = true;
    }
    const bool named = LSTNB(name, 1, static_cast<int>(name.size())) > 0;
    if (!named && options.status != rf::RfStatus::kScratch) return -1;
    if (options.direct && record_length < 1) return -1;
    return rf::rfOpen(unit, name, options) > 0 ? -1 : 0;
}

int OPNOLD(int unit, std::string_view name, int levels, int record_length_code) {
    const RfLevels level = rfDecodeLevels(levels);
    const bool read_only = record_length_code >= 0;
    int record_length = read_only ? record_length_code : -record_length_code;
    if (record_length_code == kRfNone) record_length = 0;
    rf::RfInquiry inquiry;
    if (const int status = rf::rfInquire(name, &inquiry); status != rf::kRfOk) {
        Say(level.first, 3, " Inquire failure");
        return status;
    }
    if (!inquiry.exists) {
        Say(level.third, 3, " File not found");
        return level.third < 0 ? -1 : -8;
    }
    if (inquiry.opened) {
        Say(level.second, 3, " File is in use");
        return kInUse;
    }
    return OpenWith(unit, name, rf::RfStatus::kOld, record_length, read_only);
}

namespace {

// Removes an existing file before it is created anew.
int ReplaceExisting(int unit, std::string_view name, int record_length, const RfLevels& level) {
    if (OpenWith(unit, name, rf::RfStatus::kOld, record_length, false) != 0) {
        Say(level.second, 3, " File is in use");
        return kInUse;
    }
    if (const int status = rf::rfClose(unit, true); status != rf::kRfOk) {
        Say(level.first, 3, " Unable to delete existing file");
        return status;
    }
    return 0;
}

}  // namespace

int NEWFIL(int unit, std::string_view name, int* overwrite_mode, int levels, int record_length) {
    const RfLevels level = rfDecodeLevels(levels);
    const bool default_yes = *overwrite_mode > 3;
    if (default_yes) *overwrite_mode -= 4;
    rf::RfInquiry inquiry;
    if (const int status = rf::rfInquire(name, &inquiry); status != rf::kRfOk) {
        Say(level.first, 3, " Inquire failure");
        return status;
    }
    if (inquiry.exists) {
        if (inquiry.opened) {
            Say(level.second, 3, " File is in use");
            return kInUse;
        }
        if (*overwrite_mode > 0) {
            int status = 0;
            const bool yes =
                YESNO(rf::kStandardInput, "New files will over-write existing file(s), continue",
                      default_yes ? "Y" : "N", 0, levels, &status) != 0;
            if (!yes) return *overwrite_mode == 2 ? -2 : -1;
            const bool only_check = *overwrite_mode == 2;
            *overwrite_mode = 0;
            if (only_check) return -16;
        } else if (*overwrite_mode < 0) {
            Say(level.second, 3, " File exists, not allowed to over-write, re-enter");
            return -8;
        }
        if (const int status = ReplaceExisting(unit, name, record_length, level); status != 0) {
            return status;
        }
    }
    if (*overwrite_mode == 2) {
        *overwrite_mode = 1;
        return 0;
    }
    const int status = OpenWith(unit, name, rf::RfStatus::kNew, record_length, false);
    if (status != 0) Say(level.first, 3, "Unable to open file, check access rights and disk space");
    return status;
}

int OPNAPN(int unit, std::string_view name, int levels, int record_length, bool must_exist) {
    const RfLevels level = rfDecodeLevels(levels);
    RfSettings& settings = rfSettings();
    const bool suspended = settings.text_output_unit == unit;
    if (suspended) settings.text_output_unit = kRfNone;
    const int code = record_length == 0 ? kRfNone : -std::abs(record_length);
    int status = OPNOLD(unit, name, levels, code);
    if (status == kInUse) {
        // Retry once after closing the unit the file is open on.
        rf::RfInquiry inquiry;
        rf::rfInquire(name, &inquiry);
        if (inquiry.opened) rf::rfClose(inquiry.unit);
        status = OPNOLD(unit, name, levels, code);
    }
    int result = 0;
    if (status == 0) {
        if (record_length == 0 && !PositionAtEnd(unit)) {
            if (std::abs(level.first) < 5) WRTMSG("ERROR-OPNAPN-2: Open/Read/backspace failed");
            result = level.first < 0 ? 0 : -32;
        }
    } else if (must_exist || status == kInUse) {
        if (std::abs(level.first) < 5) WRTMSG("ERROR-OPNAPN-1: Could not open file");
        result = level.first < 0 ? 0 : status;
    } else {
        int overwrite = 1;
        result = NEWFIL(unit, name, &overwrite, levels, record_length);
    }
    if (suspended) settings.text_output_unit = unit;
    return result;
}
