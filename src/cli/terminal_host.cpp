#include "cli/terminal_host.h"

#include <nlohmann/json.hpp>

#include "calc/sizes.h"
#include "cli/runner_platform.h"

namespace oskelon {

std::string terminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

TerminalHost::TerminalHost(int sizeIndex, std::FILE* out, std::FILE* err, Format format)
    : sizeIndex_(sizeIndex), format_(format), out_(out), err_(err) {}

void TerminalHost::emitEventLocked(const char* kind, const std::string& text) {
    const nlohmann::json event = {{"event", kind}, {"text", text}};
    emitLocked(out_, event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void TerminalHost::emitLocked(std::FILE* stream, const std::string& text) {
    writeText(stream, text + "\n");
}

void TerminalHost::AddListLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (detached_) return;
    if (format_ == Format::JsonLines)
        emitEventLocked("line", text);
    else
        emitLocked(out_, text);
}

void TerminalHost::ClearResultText() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!detached_) resultText_.clear();
}

void TerminalHost::AppendResultText(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!detached_) resultText_ += text;
}

void TerminalHost::ShowMessage(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (detached_) return;
    if (format_ == Format::JsonLines)
        emitEventLocked("message", terminalText(text));
    else
        emitLocked(out_, terminalText(text));
}

void TerminalHost::ShowAppMessage(const std::string& text) {
    ShowMessage(text);
}

void TerminalHost::ShowError(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!detached_) emitLocked(err_, "oskelon-cli: " + terminalText(text));
}

std::string TerminalHost::SizeDisplayName(int sizeIndex) {
    return sizeDisplayName(sizeIndex);
}

void TerminalHost::detachJob() {
    std::lock_guard<std::mutex> lock(mutex_);
    detached_ = true;
}

void TerminalHost::printMessage(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (format_ == Format::JsonLines)
        emitEventLocked("message", terminalText(text));
    else
        emitLocked(out_, terminalText(text));
}

void TerminalHost::printLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    emitLocked(out_, text);
}

void TerminalHost::printEvent(const std::string& jsonObject) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!detached_) emitLocked(out_, jsonObject);
}

std::string TerminalHost::resultText() {
    std::lock_guard<std::mutex> lock(mutex_);
    return resultText_;
}

}  // namespace oskelon
