#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

// `convert` into MP4 or WebM, for one movie or a batch. The convert command adds these
// options and hands over to RunExport before its own AVI conversion.
struct ExportOptions {
    std::string format;  // "mp4", "webm", "avi" or empty: by the output's extension
    std::string to;      // the batch's format
    std::string outDir;
    std::vector<std::string> more;  // the batch's further movies
    int jobs = 0;
    int scale = 1;
    std::string size;    // WxH
    std::string aspect;  // "4:3"
    CLI::Option* quality = nullptr;
};

std::shared_ptr<ExportOptions> AddExportOptions(CLI::App& cmd);

// Runs the export when the options or `out`'s extension ask for MP4 or WebM, or a batch;
// returns false when the conversion is the AVI one. Throws CLI::RuntimeError on failure.
bool RunExport(const ExportOptions& options, const std::string& in, const std::string& out,
               int quality, bool quiet);
