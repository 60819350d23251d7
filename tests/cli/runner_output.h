// The runner's output and files as the tests read them. On Windows the console streams are in
// text mode, so every line the runner prints ends in CR LF there; the tests compare lines
// without their line ends, or the text with LF line ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace oskelon::test {

// The text with every CR LF turned into LF.
inline std::string withLf(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// The lines of a text, without their LF or CR LF; a last line without a line end counts.
inline std::vector<std::string> lines(const std::string& text) {
    const std::string lf = withLf(text);
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < lf.size()) {
        std::size_t end = lf.find('\n', start);
        if (end == std::string::npos) end = lf.size();
        out.push_back(lf.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The line end a text-mode stream of this platform writes, found by writing one: LF, or CR LF
// on Windows. pi.dat ends with it.
inline std::string textModeLineEnd(const std::filesystem::path& scratch) {
    {
        std::ofstream text(scratch);
        text << '\n';
    }
    std::ifstream bytes(scratch, std::ios::binary);
    std::ostringstream read;
    read << bytes.rdbuf();
    bytes.close();
    std::filesystem::remove(scratch);
    return read.str();
}

}  // namespace oskelon::test
