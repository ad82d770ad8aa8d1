#pragma once
// The title sets of a ripped DVD folder (VIDEO_TS): which VOB files hold the
// film. A title set nn is VTS_nn_0.VOB (its menus) and VTS_nn_1.VOB,
// VTS_nn_2.VOB, ... (its titles, one stream cut into files of up to 1 GiB).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace reelwork::engine {

struct TitleSet {
  int number = 0;                             // nn of VTS_nn_k.VOB
  std::vector<std::filesystem::path> vobs;    // VTS_nn_1.VOB onwards, in order, while they follow on
  std::uint64_t bytes = 0;                    // their sizes together
};

// The title sets of `folder`, by number; names are matched without regard to
// case. A folder that holds a VIDEO_TS folder (the disc's root) is looked into.
std::vector<TitleSet> ListTitleSets(const std::filesystem::path &folder);

// The title set with the most bytes of titles (the first of equals): the film
// on a disc with extras. Empty when the folder holds no title VOBs.
std::optional<TitleSet> LargestTitleSet(const std::filesystem::path &folder);

// For a VOB file named VTS_nn_k.VOB with k from 1: its title set's title VOBs.
// Any other VOB (a menu VOB, another name) stands alone.
std::vector<std::filesystem::path> TitleVobsOf(const std::filesystem::path &vob);

} // namespace reelwork::engine
