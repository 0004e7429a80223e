#pragma once

#include <gtest/gtest.h>

#include <string>

#include "moviemaker/MovieMaker.h"
#include "support/TempDir.h"

// Makes `spec` as `name` in `dir` with our movie maker and returns its path; a failure
// fails the test with the reason. For test executables that link the movie maker.
inline std::string MakeMovieIn(const TempDir& dir, const moviemaker::MovieSpec& spec,
                               const std::string& name = "movie.avi") {
    const std::string path = dir.File(name);
    auto made = moviemaker::MakeMovie(spec, path);
    EXPECT_TRUE(made.Ok()) << (made.Ok() ? "" : made.Error().message);
    return path;
}
