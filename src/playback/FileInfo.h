#pragma once

#include <string>

class CLumekoDoc;

// The eight texts of the File Information dialog, formatted from the open movie.
struct FileInfoTexts {
    std::string audioRate;  // "%dHz"
    std::string type;       // "0x%x"
    std::string channels;   // "%d"
    std::string frames;     // "%d"
    std::string image;      // "%dbpp"
    std::string size;       // "%dx%d"
    std::string time;       // "%d:%d"
    std::string videoRate;  // "%.2ffps"
};

FileInfoTexts MakeFileInfoTexts(CLumekoDoc& doc);
