#include "engine/CellLayout.h"

namespace velmora {

CellPlacement PlaceCellPicture(int x, int y, int pictureW, int pictureH, const tmosaicproject& project) {
  const int cw = project.CellWidth;
  const int ch = project.CellHeight;
  const int b = project.BorderSize;
  const int cols = project.CellsAcross;
  const int rows = project.CellsDown;
  const TRect whole{0, 0, pictureW, pictureH};
  CellPlacement out;

  if (project.StitchMode == kStitchPeyote && y % 2 == 1) {
    const int top = y * ch;
    const int bottom = y * ch + ch - b;
    if (x >= 1) {
      const int left = x * cw - cw / 2;
      out.Count = 1;
      out.Pieces[0] = {TRect{left, top, left + cw - b, bottom}, whole};
      return out;
    }
    // The right half of the picture opens the row at the left edge, its left
    // half closes the row at the right edge.
    out.Count = 2;
    out.Pieces[0] = {TRect{0, top, (cw + 1) / 2 - b, bottom}, TRect{pictureW / 2, 0, pictureW, pictureH}};
    out.Pieces[1] = {TRect{cols * cw - cw / 2, top, cols * cw - b / 2, bottom},
                     TRect{0, 0, pictureW - pictureW / 2, pictureH}};
    return out;
  }

  if (project.StitchMode == kStitchBrick && x % 2 == 1) {
    const int left = x * cw;
    const int right = x * cw + cw - b;
    if (y >= 1) {
      const int top = y * ch - ch / 2;
      out.Count = 1;
      out.Pieces[0] = {TRect{left, top, right, top + ch - b}, whole};
      return out;
    }
    out.Count = 2;
    out.Pieces[0] = {TRect{left, 0, right, (ch + 1) / 2 - b}, TRect{0, pictureH / 2, pictureW, pictureH}};
    out.Pieces[1] = {TRect{left, rows * ch - ch / 2, right, rows * ch - b / 2},
                     TRect{0, 0, pictureW, pictureH - pictureH / 2}};
    return out;
  }

  out.Count = 1;
  out.Pieces[0] = {TRect{x * cw, y * ch, (x + 1) * cw - b, (y + 1) * ch - b}, whole};
  return out;
}

CellPlacement PlaceBlockPicture(const TileBlock& block, int pictureW, int pictureH, const tmosaicproject& project) {
  const int cw = project.CellWidth;
  const int ch = project.CellHeight;
  const int b = project.BorderSize;
  CellPlacement out;
  out.Count = 1;
  out.Pieces[0] = {TRect{block.X * cw, block.Y * ch, (block.X + block.Width) * cw - b, (block.Y + block.Height) * ch - b},
                   TRect{0, 0, pictureW, pictureH}};
  return out;
}

TRect MainCellRect(int x, int y, int mw, int mh, int cols, int rows) {
  // 64-bit products: a wide main picture times a column index can pass 2^31.
  auto edge = [](int64_t i, int64_t size, int64_t n) { return static_cast<int>(i * size / n); };
  return TRect{edge(x, mw, cols), edge(y, mh, rows), edge(x + 1, mw, cols), edge(y + 1, mh, rows)};
}

TRect PenSourceRect(int left, int top, int right, int bottom, int mw, int mh, int finalW, int finalH) {
  auto map = [](int64_t v, int64_t size, int64_t final) {
    return final > 0 ? static_cast<int>(size * v / final) : 0;
  };
  return TRect{map(left, mw, finalW), map(top, mh, finalH), map(right, mw, finalW), map(bottom, mh, finalH)};
}

}  // namespace velmora
