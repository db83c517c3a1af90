// The buffered console output layer.
#include "services/vtout.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

struct OutputState {
    // The text not yet passed on.
    std::string buffer;
    int mode = kVtPassLines;
    // Null stands for the line printer.
    VtOutSink sink = nullptr;
};

struct SavedSettings {
    int mode = kVtPassLines;
    VtOutSink sink = nullptr;
};

OutputState& State() {
    static OutputState state;
    return state;
}

SavedSettings& Saved() {
    static SavedSettings saved;
    return saved;
}

constinit VtMessageRoutine message_routine = nullptr;

constexpr char kBadModeText[] = "vt_out: Bad setting for buffering\n";
constexpr int kEchoLimit = 256;

void PassOn(std::string_view text) {
    VtOutSink sink = State().sink;
    if (sink == nullptr) sink = vtOutPrintLine;
    sink(text);
}

// Passes every complete line and keeps the unfinished rest.
void PassLines(std::string& buffer) {
    std::size_t start = 0;
    for (std::size_t end = buffer.find('\n'); end != std::string::npos;
         end = buffer.find('\n', start)) {
        // Copy first: the sink may print through vt_out again.
        const std::string line = buffer.substr(start, end - start);
        start = end + 1;
        PassOn(line);
    }
    buffer.erase(0, start);
}

}  // namespace

const char* vt_out(const char* text) {
    OutputState& state = State();
    if (text != nullptr) state.buffer += text;
    switch (state.mode) {
        case kVtHoldAll:
            break;
        case kVtPassBuffer: {
            const std::string whole = std::move(state.buffer);
            state.buffer.clear();
            PassOn(whole);
            break;
        }
        case kVtPassLines:
            PassLines(state.buffer);
            break;
        default:
            if (state.buffer.find(kBadModeText) == std::string::npos) {
                state.buffer += kBadModeText;
            }
            break;
    }
    return state.buffer.c_str();
}

const char* vt_echo(const char* format, ...) {
    char text[kEchoLimit];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    const char* result = vt_out(length < 0 ? "" : text);
    if (length >= kEchoLimit) {
        std::snprintf(text, sizeof text, "Warning - line too long in vt_echo (%d,%d)\n", length,
                      kEchoLimit);
        result = vt_out(text);
    }
    return result;
}

void vtOutSave() {
    Saved() = {State().mode, State().sink};
}

void vtOutRestore() {
    State().mode = Saved().mode;
    State().sink = Saved().sink;
}

void vtOutSetMode(int mode) {
    State().mode = mode;
}

void vtOutSetSink(VtOutSink sink) {
    State().sink = sink;
}

void vtOutDiscard(std::string_view) {}

void vtOutPrintLine(std::string_view line) {
    if (line.empty()) line = " ";
    if (message_routine != nullptr) {
        message_routine(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

void vtOutClear() {
    State().buffer.clear();
}

bool vtOutPassesToMessageRoutine() {
    const OutputState& state = State();
    const bool passes = state.mode == kVtPassLines || state.mode == kVtPassBuffer;
    return passes && state.buffer.empty() && state.sink == nullptr && message_routine != nullptr;
}

void vtOutSetMessageRoutine(VtMessageRoutine routine) {
    message_routine = routine;
}
