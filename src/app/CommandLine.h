#pragma once

#include <string>
#include <vector>

class CLumekoDoc;

// The command line: plain arguments are files to queue; "play" and "close", after '-'
// or '/', in any case, set auto-play and close-when-done. Arguments are bytes as the
// system passed them: a name that is not UTF-8 is kept as it is.
class CLumekoCommandLineInfo {
public:
    explicit CLumekoCommandLineInfo(CLumekoDoc& doc) : m_doc(doc) {}
    void ParseParam(const std::string& text, bool isFlag, bool isLast);
    // Parses every argument after the program's name; true when a file was named.
    // With a directory, relative file names are queued made absolute against it, so the
    // queue and the recent-file list hold names that stay valid from anywhere.
    bool ParseCommandLine(const std::vector<std::string>& arguments,
                          const std::string& directory = {});

    // Whether the parser takes the argument as a flag ("-anything", "/play", "/close").
    static bool IsFlag(const std::string& argument);

private:
    CLumekoDoc& m_doc;
    bool m_bFileSeen = false;
};

// `path` made absolute against `directory`, byte for byte; absolute paths and empty
// directories leave it as it is.
std::string AbsolutePath(const std::string& path, const std::string& directory);
// The process's working directory as bytes; empty when it cannot be had.
std::string CurrentDirectory();
