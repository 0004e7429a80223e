#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Result.h"
#include "convert/CompressorVars.h"
#include "convert/ModernExport.h"
#include "movie/AviWriter.h"

// What a conversion needs of the window system: the save dialog, the compressor
// dialog, dispatching waiting messages, and the message box.

class CDuckMovie;

namespace convert {

class IConversionHost {
public:
    virtual ~IConversionHost() = default;
    // The save dialog, with overwrite prompt; nothing when cancelled.
    virtual std::optional<std::string> ChooseOutputPath(const std::string& proposed) = 0;
    // The compressor dialog over `vars` (preset by the caller); false when cancelled.
    virtual bool ChooseCompressor(COMPVARS& vars) = 0;
    virtual void PumpMessages() = 0;
    // True once the user asked to stop; the conversion then ends and leaves no file.
    virtual bool Cancelled() const { return false; }
    // How far the conversion is: `done` of `total` frames, then of the sound's samples.
    enum class Stage { kPictures, kSound };
    virtual void ShowProgress(Stage stage, uint64_t done, uint64_t total) = 0;
    virtual void ShowError(std::string_view text) = 0;
    // A message of the program's own with the reason behind it, in English and naming
    // the file: the window shows both, a terminal the reason.
    virtual void ShowFailure(std::string_view text, std::string_view /*reason*/) {
        ShowError(text);
    }
    // Whether an existing file may be replaced: a save dialog has asked the user already.
    virtual bool MayReplaceExisting() const { return true; }
    // MP4 and WebM, for a host that links the exporter: the small quality choice in place
    // of the compressor dialog (false when cancelled), then the export itself, reporting
    // through ShowProgress and PumpMessages and stopping when Cancelled.
    virtual bool ChooseExportQuality(ExportSettings& settings) {
        (void)settings;
        return false;
    }
    virtual Result<void> ExportMovie(CDuckMovie& movie, const std::string& path,
                                     const ExportSettings& settings) {
        (void)movie, (void)settings;
        return MakeError(ErrorKind::Unsupported, path + ": this program cannot write MP4 or WebM");
    }
    // Where the converted movie is written: the disk, unless a test says otherwise.
    virtual movie::OutputFiles& OutputFiles() { return movie::OutputFiles::Disk(); }
};

// The output name proposed for a movie: its path with everything from the last '.'
// replaced by ".avi", or ".avi" appended when there is no '.'.
std::string ProposedOutputPath(const std::string& moviePath);

}  // namespace convert
