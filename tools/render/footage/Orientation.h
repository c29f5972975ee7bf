// How a movie's stored frames are shown: turned by the stream's display
// rotation as FFmpeg's player and converter turn them, and so of what size.
#pragma once

#include <cstdint>
#include <string>

struct AVStream;

namespace zelvan::render {

// The shown pixel (x, y) is the stored pixel (u, v) with (u, v) = (y, x)
// when swapped, then each mirrored when flipped.
struct Orientation {
  // The stream's display rotation as FFmpeg's ffprobe shows it: degrees
  // counterclockwise, -180 to 180 (-90: shown turned a quarter clockwise).
  int rotation = 0;
  bool swap = false;
  bool flip_x = false;
  bool flip_y = false;
};

// The turns and flips FFmpeg's converter applies by default for the
// stream's display matrix (upright without one). A rotation that is not a
// quarter turn is shown as stored; `odd_angle` then names its rotation.
Orientation OrientationOf(const AVStream& stream, std::string* odd_angle);

// Where the pixel shown at (x, y) lies in a frame stored stored_width x
// stored_height: the rule above.
struct StoredPixel {
  int u = 0, v = 0;
};
inline StoredPixel StoredAt(const Orientation& o, int stored_width, int stored_height, int x, int y) {
  StoredPixel p = o.swap ? StoredPixel{y, x} : StoredPixel{x, y};
  if (o.flip_x) p.u = stored_width - 1 - p.u;
  if (o.flip_y) p.v = stored_height - 1 - p.v;
  return p;
}

// A stored frame's size and how it is shown.
struct FrameShape {
  int stored_width = 0;
  int stored_height = 0;
  Orientation orientation;
  int width() const { return orientation.swap ? stored_height : stored_width; }
  int height() const { return orientation.swap ? stored_width : stored_height; }
};

}  // namespace zelvan::render
