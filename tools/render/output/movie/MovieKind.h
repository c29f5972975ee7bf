// The kinds of movie the tool writes, one for each row of the recipe table
// (MovieRecipe.h), which says what each is made of.
#pragma once

namespace zelvan::render {

enum class MovieKind {
  kH264,
  kH265,
  kVp9Alpha,
  kVp9,
  kProRes4444,
  kProRes4444Xq,
  kProRes422Hq,
  kProRes422,
  kProRes422Lt,
  kProRes422Proxy,
  kFfv1,
  kGif,
};

}  // namespace zelvan::render
