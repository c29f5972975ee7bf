#include "MovieTags.h"

namespace zelvan::render {

Colour MovieTags(const MovieRecipe& recipe, const Colour& held) {
  Colour tags;
  tags.primaries = held.primaries;
  tags.transfer = held.transfer;
  if (recipe.bt709) {
    tags.matrix = AVCOL_SPC_BT709;
    tags.range = AVCOL_RANGE_MPEG;
  }
  return tags;
}

}  // namespace zelvan::render
