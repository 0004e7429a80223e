#pragma once

#include <string>
#include <vector>

#include "base/Result.h"
#include "convert/ModernExport.h"

class CDuckMovie;

// The MP4 and WebM export, built on GStreamer: our decoded pictures and PCM go in through
// appsrc, the encoders and muxers come from GStreamer's base, good, bad and ugly plug-in
// sets, each named explicitly so that nothing is ever picked for us.

namespace convert {

// Fails, naming the Debian package to install, when an element the format needs is missing.
Result<void> CheckExportElements(ExportFormat format);

// Writes `movie` (open, read from its first frame) to `target`. The file appears only when
// complete: it is written under a temporary name beside the target, renamed at the end and
// removed on failure or cancel. The movie's sound is read from its start.
Result<void> ExportMovie(CDuckMovie& movie, const std::string& target,
                         const ExportSettings& settings, IExportProgress& progress);

// Every element the export's pipeline is made of, with the plug-in it comes from: the
// pipeline is built for a small picture and not run.
struct ExportElement {
    std::string factory;
    std::string plugin;
};
Result<std::vector<ExportElement>> ExportPipelineElements(const ExportSettings& settings,
                                                          bool withSound);

}  // namespace convert
