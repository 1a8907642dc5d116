// cairo draws the bead charts and the panel PDFs. It is opened the first
// time one is drawn rather than linked, since with its font and X libraries
// it would be loaded by every start of the programs. Its header gives the
// types; the pointers below, named like cairo's functions, stand in for
// them in the program's namespace.
#pragma once

#include <cairo-pdf.h>
#include <cairo.h>

#include "imaging/LazyLibrary.h"

namespace velmora {

// clang-format off
#define VELMORA_CAIRO_CALLS(X) \
  X(cairo_arc) \
  X(cairo_arc_negative) \
  X(cairo_close_path) \
  X(cairo_create) \
  X(cairo_destroy) \
  X(cairo_fill) \
  X(cairo_fill_preserve) \
  X(cairo_font_extents) \
  X(cairo_get_source) \
  X(cairo_image_surface_create) \
  X(cairo_image_surface_create_for_data) \
  X(cairo_image_surface_get_data) \
  X(cairo_image_surface_get_stride) \
  X(cairo_line_to) \
  X(cairo_move_to) \
  X(cairo_new_sub_path) \
  X(cairo_paint) \
  X(cairo_pattern_set_filter) \
  X(cairo_pdf_surface_create_for_stream) \
  X(cairo_pdf_surface_set_metadata) \
  X(cairo_rectangle) \
  X(cairo_restore) \
  X(cairo_save) \
  X(cairo_scale) \
  X(cairo_select_font_face) \
  X(cairo_set_dash) \
  X(cairo_set_font_size) \
  X(cairo_set_line_width) \
  X(cairo_set_source_rgb) \
  X(cairo_set_source_surface) \
  X(cairo_show_page) \
  X(cairo_show_text) \
  X(cairo_status) \
  X(cairo_status_to_string) \
  X(cairo_stroke) \
  X(cairo_stroke_preserve) \
  X(cairo_surface_destroy) \
  X(cairo_surface_finish) \
  X(cairo_surface_flush) \
  X(cairo_surface_mark_dirty) \
  X(cairo_surface_status) \
  X(cairo_surface_write_to_png_stream) \
  X(cairo_text_extents) \
  X(cairo_text_path) \
  X(cairo_translate)
// clang-format on

#define VELMORA_CAIRO_DECLARE(name) inline VELMORA_LAZY_DECLARE(name)
VELMORA_CAIRO_CALLS(VELMORA_CAIRO_DECLARE)
#undef VELMORA_CAIRO_DECLARE

// Binds the calls above on the first use; an error names the Debian package
// to install.
Status OpenCairo();

}  // namespace velmora
