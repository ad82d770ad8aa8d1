#pragma once
// The MPEG-2 decoder as the engine runs it, and what it makes of damaged
// pictures.

#include <cstdint>
#include <vector>

#include "engine/mpeg2_index.h"
#include "engine/program_stream.h"

struct AVCodecContext;

namespace reelwork::engine {

// An open libavcodec MPEG-2 decoder on one thread (one picture in, one out),
// quiet. While `*clearBuffers` is set, the buffer of each picture is cleared
// before the decoder fills it: concealing a damaged picture may read parts
// of its buffer no slice wrote, and what it finds there must not depend on
// the pictures decoded before. Throws EngineError.
AVCodecContext *OpenMpeg2Decoder(const bool *clearBuffers = nullptr);

// The elementary stream bytes of `picture`, read through the packets from
// its packet on (`out` holds exactly its size when they are all there).
void ReadPictureBytes(ProgramStreamReader &reader, const IndexedPicture &picture, std::vector<std::uint8_t> &out);

// Of `pictures` (indexes into index.pictures, each fed to the decoder and
// shown), those for which the decoder hands out no picture when decoding
// runs from their seek points as the engine runs it: damage can leave a
// picture the decoder gives up on.
std::vector<std::uint32_t> PicturesWithoutOutput(const ConcatenatedFiles &files, const Mpeg2Index &index,
                                                 const std::vector<std::uint32_t> &pictures);

} // namespace reelwork::engine
