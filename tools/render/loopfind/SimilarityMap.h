// The frame-distance matrix as a picture of bounded size, whatever the
// clip's length: the frames grouped in blocks so that at most kMaxCells make
// a side, each cell the mean of the distances computed in it (a frame
// against itself, and the pairs whose lag the search visited), mirrored
// about the diagonal. Black is alike, white the cell most unlike; a cell
// with nothing compared is blue. Each candidate is marked in red where its
// start (the row) meets its end (the column), its rank beside it.
#pragma once

#include <cstdint>
#include <vector>

#include "Candidates.h"

namespace zelvan::render {

class SimilarityMap {
 public:
  static constexpr int64_t kMaxCells = 512;
  // A short clip's cells are drawn as squares of several pixels, so that the
  // picture is at least about this wide.
  static constexpr int64_t kLeastSide = 256;

  explicit SimilarityMap(int64_t frames);

  // The distance of frames i < j.
  void Add(int64_t i, int64_t j, float distance) {
    const int64_t p = i / per_cell_, q = j / per_cell_;
    Cell& c = cells_[static_cast<std::size_t>(p * side_ + q)];
    const int times = p == q ? 2 : 1;  // in a diagonal cell the pair stands for both halves
    c.sum += times * static_cast<double>(distance);
    c.count += times;
  }

  int64_t frames_per_cell() const { return per_cell_; }
  int64_t cells() const { return side_; }

  struct Picture {
    int side = 0;
    std::vector<uint8_t> rgb;  // side x side, 3 bytes a pixel
  };
  Picture Draw(const std::vector<Candidate>& marked) const;

 private:
  struct Cell {
    double sum = 0.0;
    int64_t count = 0;
  };
  int64_t per_cell_ = 1;
  int64_t side_ = 0;
  std::vector<Cell> cells_;  // row p, column q >= p
};

}  // namespace zelvan::render
