#pragma once

#include <QSize>

namespace quill {

// The size a picture of width x height takes in the preview: unchanged when it fits within
// limit x limit, otherwise its longer side becomes the limit and the other side keeps the ratio
// (products first, the division dropping the remainder). A small picture is never enlarged.
QSize FitIntoPreview(int width, int height, int limit);

} // namespace quill
