#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "movie/DuckMovie.h"
#include "support/RecordingMessageBox.h"

// Every movie under tests/regress/movie/ that once crashed or misbehaved, opened and read
// to the end as the player and the converter read it: no crash, and the outcome kept
// in movie.outcomes, one line a file: "NAME refused", or "NAME frames F rejected R
// sound B" (frames served, frames the decoder rejected, decoded sound bytes).

namespace {

const std::filesystem::path kRegress = LUMEKO_REGRESS_DIR;

std::string Outcome(const std::filesystem::path& path) {
    RecordingMessageBox messages;
    CDuckMovie movie(messages);
    if (!movie.Open(path.string())) return "refused";
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    std::vector<uint8_t> picture(static_cast<size_t>(bmih.biWidth) *
                                 static_cast<size_t>(bmih.biHeight) * 3);
    int rejected = 0;
    for (uint32_t i = 0; i < movie.GetFrameCount(); ++i)
        if (movie.ReadFrame(i, picture.data()) != 1) ++rejected;
    uint64_t sound = 0;
    std::vector<uint8_t> chunk(movie.GetAudioChunkSize());
    // A sound that never ends is an outcome of its own, not a hung test.
    for (int reads = 0; reads < 100000; ++reads) {
        const uint32_t bytes = movie.ReadAudio(chunk.data());
        if (bytes == 0) break;
        sound += bytes;
    }
    std::ostringstream text;
    text << "frames " << movie.GetFrameCount() << " rejected " << rejected << " sound " << sound;
    if (!messages.messages.empty()) text << " messages " << messages.messages.size();
    return text.str();
}

TEST(Regress, EveryKeptMovieHasItsRecordedOutcome) {
    std::map<std::string, std::string> recorded;
    std::ifstream list(kRegress / "movie.outcomes");
    ASSERT_TRUE(list) << "no list of outcomes";
    for (std::string line; std::getline(list, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t space = line.find(' ');
        recorded[line.substr(0, space)] = line.substr(space + 1);
    }
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kRegress / "movie")) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ++files;
        const auto found = recorded.find(name);
        const std::string outcome = Outcome(entry.path());
        if (found == recorded.end()) {
            ADD_FAILURE() << "no recorded outcome; it reads as: " << name << " " << outcome;
            continue;
        }
        EXPECT_EQ(outcome, found->second);
    }
    EXPECT_EQ(files, recorded.size()) << "an outcome is recorded for a file that is not there";
}

}  // namespace
