// cairo draws the bead charts, the panel PDFs and the library check's chart,
// Pango the chart's text. They are opened the first time one is drawn rather
// than linked, since with their font and X libraries they would be loaded by
// every start of the programs. Their headers give the types; the pointers
// below, named like their functions, stand in for them in the program's
// namespace.
#pragma once

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

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

// Pango's calls the chart uses, and GLib's that free its layouts and mend
// text that is not UTF-8 (file names may be any bytes).
// clang-format off
#define VELMORA_PANGO_CALLS(X) \
  X(g_free) \
  X(g_object_unref) \
  X(g_utf8_make_valid) \
  X(pango_cairo_create_layout) \
  X(pango_cairo_show_layout) \
  X(pango_font_description_free) \
  X(pango_font_description_new) \
  X(pango_font_description_set_absolute_size) \
  X(pango_font_description_set_family) \
  X(pango_font_description_set_weight) \
  X(pango_layout_get_pixel_size) \
  X(pango_layout_set_ellipsize) \
  X(pango_layout_set_font_description) \
  X(pango_layout_set_text) \
  X(pango_layout_set_width)
// clang-format on

#define VELMORA_PANGO_DECLARE(name) inline VELMORA_LAZY_DECLARE(name)
VELMORA_PANGO_CALLS(VELMORA_PANGO_DECLARE)
#undef VELMORA_PANGO_DECLARE

// Bind the calls above on the first use; an error names the Debian package
// to install. OpenPango opens cairo too, which Pango draws with.
Status OpenCairo();
Status OpenPango();

}  // namespace velmora
