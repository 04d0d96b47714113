#include "processing/work_folder.h"

namespace processing {

std::string WorkFolder(const std::string& reshotPath, bool examineFromScanner) {
    const auto slash = reshotPath.find_last_of('/');
    std::string base = slash == std::string::npos ? std::string() : reshotPath.substr(0, slash + 1);
    if (examineFromScanner && !base.empty()) {
        // the parent of the numbered folder
        std::string folder = base.substr(0, base.size() - 1);
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        const auto up = folder.find_last_of('/');
        base = up == std::string::npos ? std::string() : folder.substr(0, up + 1);
    }
    return base + "current/";
}

std::string SafeObjectName(const std::string& object) {
    const auto b = object.find_first_not_of(" \t");
    if (b == std::string::npos) return "Object";
    const auto e = object.find_last_not_of(" \t");
    std::string name = object.substr(b, e - b + 1);
    for (char& c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
            c == '|' || u < 32 || u == 127)
            c = '_';
    }
    if (name == "." || name == "..") name = "Object";
    if (name.find_first_not_of('.') == std::string::npos) name = "Object";
    return name;
}

} // namespace processing
