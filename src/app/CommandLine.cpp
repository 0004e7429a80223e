#include "app/CommandLine.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>

#include "playback/LumekoDoc.h"

namespace {
bool SameWord(std::string_view a, const char* b) {
    const std::string_view bv(b);
    return a.size() == bv.size() && std::equal(a.begin(), a.end(), bv.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == y;
           });
}
}  // namespace

std::string AbsolutePath(const std::string& path, const std::string& directory) {
    if (path.empty() || path[0] == '/' || directory.empty()) return path;
    std::string absolute = directory;
    if (absolute.back() != '/') absolute += '/';
    // "./movie.avi" reads better in the recent-file list as "movie.avi".
    std::string_view rest(path);
    while (rest.size() > 2 && rest.substr(0, 2) == "./") rest.remove_prefix(2);
    return absolute.append(rest);
}

std::string CurrentDirectory() {
    std::string buffer(PATH_MAX, '\0');
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return {};
    buffer.resize(buffer.find('\0'));
    return buffer;
}

bool CLumekoCommandLineInfo::IsFlag(const std::string& a) {
    // '/' also begins every absolute path here: after '/' only the two flag words
    // are flags, anything else is a file.
    const std::string_view rest = a.size() > 1 ? std::string_view(a).substr(1) : std::string_view();
    return (!a.empty() && a[0] == '-' && a.size() > 1) ||
           (!a.empty() && a[0] == '/' && (SameWord(rest, "play") || SameWord(rest, "close")));
}

void CLumekoCommandLineInfo::ParseParam(const std::string& text, bool isFlag, bool) {
    if (!isFlag) {
        m_doc.m_pendingFiles.push_back(text);
        m_bFileSeen = true;
    } else if (SameWord(text, "play")) {
        m_doc.m_bAutoPlay = true;
    } else if (SameWord(text, "close")) {
        m_doc.m_bCloseWhenDone = true;
    }
}

bool CLumekoCommandLineInfo::ParseCommandLine(const std::vector<std::string>& arguments,
                                              const std::string& directory) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const bool flag = IsFlag(a);
        ParseParam(flag ? a.substr(1) : AbsolutePath(a, directory), flag,
                   i + 1 == arguments.size());
    }
    return m_bFileSeen;
}
