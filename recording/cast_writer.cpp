// The asciicast v2 recorder: the term library's view and encoder, written
// through the one safe writer (intro::OutputFile), synced once when complete.
#include <cstdio>
#include <memory>
#include <new>

#include "recording/recording.h"
#include "recording/recording_internal.h"
#include "term/term.h"

struct CastRecording {
  intro::OutputFile file;
  std::string target;
  TermView* view = nullptr;
  std::unique_ptr<char[]> line;  // one event line
  size_t lineCapacity = 0;
  int64_t last = 0;  // microseconds of the last event
  int64_t events = 0;
  bool broken = false;

  ~CastRecording() { TERMFree(&view); }
};

namespace {

bool Put(CastRecording* r, const char* bytes, size_t size,
         std::string* error) {
  if (r->file.Write(bytes, size)) return true;
  r->broken = true;
  if (error) *error = r->file.Reason();
  return false;
}

}  // namespace

CastRecording* RECCastOpen(const char* filename, int32_t cols, int32_t rows,
                           uint32_t fg, uint32_t bg, std::string* error) {
  if (!filename || cols < 1 || cols > 4096 || rows < 1 || rows > 4096) {
    if (error) *error = "bad cast recording arguments";
    return nullptr;
  }
  try {
    std::unique_ptr<CastRecording> r(new (std::nothrow) CastRecording);
    if (r) {
      r->target = filename;
      r->view = TERMNew(cols, rows, cols, rows, TermColour::None);
      r->lineCapacity = TERMCastEventBound(TERMDrawBound(cols, rows));
      r->line.reset(new (std::nothrow) char[r->lineCapacity]);
    }
    if (!r || !r->view || !r->line) {
      rec_internal::SetError(error, filename, "out of memory");
      return nullptr;
    }
    if (!r->file.Open(filename)) {
      if (error) *error = r->file.Reason();
      return nullptr;
    }
    const size_t n = TERMCastHeader(cols, rows, fg, bg, r->line.get(),
                                    r->lineCapacity);
    if (!Put(r.get(), r->line.get(), n, error)) return nullptr;
    return r.release();
  } catch (const std::bad_alloc&) {
    rec_internal::SetError(error, filename, "out of memory");
    return nullptr;
  }
}

bool RECCastAdd(CastRecording* r, int64_t microseconds, const int32_t* cells,
                std::string* error) {
  if (!r || r->broken || !cells) {
    if (error) *error = "cast recording not open";
    return false;
  }
  if (microseconds < r->last) microseconds = r->last;  // never backwards
  TERMDraw(r->view, cells, 0);
  if (r->view->outSize == 0) return true;  // nothing changed
  const size_t n = TERMCastEvent(microseconds, r->view->out, r->view->outSize,
                                 r->line.get(), r->lineCapacity);
  if (!Put(r, r->line.get(), n, error)) return false;
  r->last = microseconds;
  ++r->events;
  return true;
}

bool RECCastClose(CastRecording** cast, std::string* error) {
  if (!cast || !*cast) {
    if (error) *error = "cast recording not open";
    return false;
  }
  std::unique_ptr<CastRecording> r(*cast);
  *cast = nullptr;
  if (r->broken) {
    rec_internal::SetError(error, r->target, "an earlier write failed");
    return false;
  }
  if (r->file.Commit(true)) return true;
  if (error) *error = r->file.Reason();
  return false;
}

void RECCastDiscard(CastRecording** cast) {
  if (!cast) return;
  delete *cast;
  *cast = nullptr;
}

int64_t RECCastEvents(const CastRecording* cast) {
  return cast ? cast->events : 0;
}
