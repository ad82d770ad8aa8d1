#pragma once
// Runs a script: parses it, builds the clip graph statement by statement and
// gives the clip the script returns. Every failure is an EngineError whose
// text names the script line, e.g. "line 3: Crop: YV12 width must be even".

#include <functional>
#include <string>
#include <vector>

#include "engine/clip.h"
#include "engine/video.h"

namespace reelwork::engine::script {

// Opens an MPEG-2 source from its D2V project (a path already resolved
// against the script's folder).
using SourceOpener = std::function<ClipPtr(const std::string &d2vPath, const ProgressFn &progress)>;

struct ScriptContext {
  std::string folder;   // relative paths in the script are taken from here
  std::string file;     // the script file that runs ("" for a text), for ScriptName()
  ProgressFn progress;  // handed to sources that build an index
  SourceOpener mpeg2;   // empty: the engine's own MPEG-2 source
  // Where sources add what they find while opening (damaged frames); the
  // evaluator points it at the notes of the result it returns.
  PreviewNotes *notes = nullptr;
  // Where sources are kept as they are opened (their damage can become known
  // later); the evaluator points it at the result's list.
  std::vector<ClipPtr> *sources = nullptr;
};

struct ScriptResult {
  ClipPtr clip;
  // What the preview cannot show exactly; notes.notPreviewed names the
  // functions the engine passed through unchanged.
  PreviewNotes notes;
  // The MPEG-2 sources the script opened, in order (notes.damaged holds
  // their damaged frames as known at opening, one after the other).
  std::vector<ClipPtr> sources;
};

// Throws EngineError ("line N: reason") when the script cannot be run.
ScriptResult EvaluateScript(const std::string &text, const ScriptContext &ctx);

// Reads the file and runs it with the file's folder as the base for relative
// paths. Throws EngineError when the file cannot be read or run.
ScriptResult EvaluateScriptFile(const std::string &path, const ProgressFn &progress = {});

} // namespace reelwork::engine::script
