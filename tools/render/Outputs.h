// Everything the tool writes: frames, contact sheet, GIF preview, and text
// files, all first into a staging folder inside the output folder and moved
// into place only once the whole run has succeeded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AE_Effect.h"

namespace zelvan::render {

// Frame file formats.
enum class FrameFormat { Png8, Png16, Exr };
FrameFormat FormatFor(const std::string& name, int depth);  // "" picks by depth
const char* Extension(FrameFormat f);

// RGBA floats of a world (8 bits over 255, 16 bits over 32768, float as stored).
std::vector<float> WorldToRgba(const PF_EffectWorld& world);

// Writes an RGBA float image; throws std::runtime_error naming the file.
void WriteImage(const std::string& file, int width, int height, const std::vector<float>& rgba, FrameFormat format);

// Reads any image as RGBA floats; throws std::runtime_error naming the file.
std::vector<float> ReadImage(const std::string& file, int* width, int* height);

// The output folder of one run. Nothing appears in the folder until Commit();
// a run that is destroyed uncommitted leaves the folder as it found it.
class Staging {
 public:
  // Creates the folder when missing. Throws std::runtime_error naming it.
  explicit Staging(const std::string& out_dir);
  ~Staging();
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // Where a file of that name is written before Commit().
  std::string Path(const std::string& name) const;
  // Records a finished file to move into place.
  void Add(const std::string& name);
  void WriteText(const std::string& name, const std::string& text);
  // Moves every file into the folder (each rename replaces the old file
  // whole), then removes frames of earlier runs that this run did not write.
  void Commit(const std::string& stale_prefix);

  const std::string& dir() const { return out_dir_; }

 private:
  std::string out_dir_;
  std::string stage_;
  bool created_dir_ = false;
  bool committed_ = false;
  std::vector<std::string> names_;
};

// Thumbnails laid out in a grid with each frame's number under it.
class ContactSheet {
 public:
  ContactSheet(int frames, int width, int height);
  void Add(int index, const std::vector<float>& rgba, int width, int height);
  void Write(const std::string& file) const;

 private:
  int cols_ = 1, rows_ = 1, tw_ = 1, th_ = 1, label_ = 1;
  int sheet_w_ = 1, sheet_h_ = 1;
  std::vector<float> pixels_;
};

// An animated GIF written one frame at a time, scaled to a preview size.
class GifWriter {
 public:
  GifWriter(const std::string& file, int width, int height, double fps);
  ~GifWriter();
  void Add(const std::vector<float>& rgba, int width, int height);
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelvan::render
