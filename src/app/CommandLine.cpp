#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>

#include "playback/LumekoDoc.h"

namespace {
bool SameWord(const std::string& a, const char* b) {
    const std::string_view bv(b);
    return a.size() == bv.size() && std::equal(a.begin(), a.end(), bv.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == y;
           });
}
}  // namespace

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

bool CLumekoCommandLineInfo::ParseCommandLine(const std::vector<std::string>& arguments) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const bool flag = !a.empty() && (a[0] == '-' || a[0] == '/') && a.size() > 1 && a.find('/', 1) == std::string::npos;
        ParseParam(flag ? a.substr(1) : a, flag, i + 1 == arguments.size());
    }
    return m_bFileSeen;
}
