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
        // '/' also begins every absolute path here: after '/' only the two flag words
        // are flags, anything else is a file.
        const std::string rest = a.size() > 1 ? a.substr(1) : std::string();
        const bool flag = (!a.empty() && a[0] == '-' && a.size() > 1) ||
                          (!a.empty() && a[0] == '/' && (SameWord(rest, "play") || SameWord(rest, "close")));
        ParseParam(flag ? rest : a, flag, i + 1 == arguments.size());
    }
    return m_bFileSeen;
}
