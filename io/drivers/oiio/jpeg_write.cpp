// JPEG encoding through libjpeg into memory. libjpeg ends a compression that
// fails by calling its error handler, whose default ends the process; this
// one jumps back here, so the failure comes back as an error with
// libjpeg's own message.
#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "oiio.h"

namespace tv::pin {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf back;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void ErrorExit(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->back, 1);
}

// Warnings are not printed: a compression has none that matter here.
extern "C" void Quiet(j_common_ptr) {}

// The compressed bytes go into a vector that grows as needed; memory that
// runs out ends the compression through the error handler.
struct Destination {
  jpeg_destination_mgr base;
  std::vector<uint8_t>* bytes;
};

bool Grow(j_compress_ptr c, size_t used) {
  auto* d = reinterpret_cast<Destination*>(c->dest);
  bool grown = true;
  try {
    d->bytes->resize(std::max<size_t>(d->bytes->size() * 2, 1 << 16));
  } catch (...) {
    grown = false;
  }
  if (!grown) {  // outside the handler: the error handler jumps away
    c->err->msg_code = JERR_OUT_OF_MEMORY;
    c->err->msg_parm.i[0] = 0;
    (*c->err->error_exit)(reinterpret_cast<j_common_ptr>(c));
    return false;
  }
  d->base.next_output_byte = d->bytes->data() + used;
  d->base.free_in_buffer = d->bytes->size() - used;
  return true;
}

extern "C" void InitDestination(j_compress_ptr c) { Grow(c, 0); }

extern "C" boolean EmptyBuffer(j_compress_ptr c) {
  auto* d = reinterpret_cast<Destination*>(c->dest);
  return Grow(c, d->bytes->size()) ? TRUE : FALSE;
}

extern "C" void TermDestination(j_compress_ptr c) {
  auto* d = reinterpret_cast<Destination*>(c->dest);
  d->bytes->resize(d->bytes->size() - d->base.free_in_buffer);
}

// The compression itself, free of C++ objects with destructors (the error
// handler jumps across it). 0, or 1 with the message in e.
int Compress(jpeg_compress_struct& c, ErrorManager& e, Destination& dest, const uint8_t* rgb, int width,
             int height, int quality) {
  c.err = jpeg_std_error(&e.base);
  e.base.error_exit = ErrorExit;
  e.base.output_message = Quiet;
  e.message[0] = 0;
  if (setjmp(e.back)) return 1;
  jpeg_create_compress(&c);
  dest.base.init_destination = InitDestination;
  dest.base.empty_output_buffer = EmptyBuffer;
  dest.base.term_destination = TermDestination;
  c.dest = &dest.base;
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  // Full colour resolution: stills are final output.
  for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&c, TRUE);
  const size_t row = static_cast<size_t>(width) * 3;
  while (c.next_scanline < c.image_height) {
    JSAMPROW line = const_cast<JSAMPROW>(rgb + static_cast<size_t>(c.next_scanline) * row);
    jpeg_write_scanlines(&c, &line, 1);
  }
  jpeg_finish_compress(&c);
  return 0;
}

}  // namespace

bool EncodeJpeg(const uint8_t* rgb, int width, int height, int quality, std::vector<uint8_t>* bytes,
                std::string* why) {
  jpeg_compress_struct c{};
  ErrorManager e{};
  Destination dest{};
  bytes->clear();
  dest.bytes = bytes;
  const int failed = Compress(c, e, dest, rgb, width, height, quality);
  jpeg_destroy_compress(&c);
  if (failed) {
    bytes->clear();
    *why = e.message[0] ? e.message : "the JPEG library failed";
  }
  return !failed;
}

}  // namespace tv::pin
