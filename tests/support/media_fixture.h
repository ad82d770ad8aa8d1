#pragma once
// Test media made at test time, and a plain FFmpeg decode to check the engine
// against.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/clip.h"
#include "engine/sample_media.h"

namespace reelwork::testing {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;
  const std::filesystem::path &path() const { return path_; }

private:
  std::filesystem::path path_;
};

// Points the index cache at a folder of its own for the lifetime of the
// object and forgets the indexes kept in memory.
class IsolatedIndexCache {
public:
  IsolatedIndexCache();
  ~IsolatedIndexCache();
  const std::filesystem::path &folder() const { return folder_.path(); }

private:
  TempFolder folder_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// Small sample media for tests: 352x288 unless the options say otherwise.
engine::SampleRip MakeTestRip(const std::filesystem::path &folder, engine::SampleOptions options);

std::uint64_t HashFrame(const engine::Frame &frame);

// Every frame of a full sequential decode of the files, read as one stream by
// libavformat's MPEG-PS demuxer and decoded by libavcodec, as hashes of their
// planes; `numbers` receives the frame number each picture shows.
std::vector<std::uint64_t> ReferenceDecode(const std::vector<std::filesystem::path> &files,
                                           std::vector<int> *numbers = nullptr);

// Writes a one-line script beside the D2V and returns its path.
std::filesystem::path WriteSourceScript(const std::filesystem::path &d2v, const std::string &name = "movie.avs");

} // namespace reelwork::testing
