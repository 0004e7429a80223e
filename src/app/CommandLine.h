#pragma once

#include <string>
#include <vector>

class CLumekoDoc;

// The command line: plain arguments are files to queue; "play" and "close", after '-'
// or '/', in any case, set auto-play and close-when-done.
class CLumekoCommandLineInfo {
public:
    explicit CLumekoCommandLineInfo(CLumekoDoc& doc) : m_doc(doc) {}
    void ParseParam(const std::string& text, bool isFlag, bool isLast);
    // Parses every argument after the program's name; true when a file was named.
    bool ParseCommandLine(const std::vector<std::string>& arguments);

private:
    CLumekoDoc& m_doc;
    bool m_bFileSeen = false;
};
