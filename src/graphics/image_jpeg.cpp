// JPEG files through libjpeg-turbo. Colour and greyscale pictures both come out as blue, green,
// red; libjpeg's errors come back to us through the setjmp target instead of ending the process.
#include <setjmp.h>

#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "graphics/image_readers.h"
#include "graphics/page.h"

namespace {
struct jpeg_error_trap {
  jpeg_error_mgr mgr;
  jmp_buf target;
};

// Reads come from the bounded stream; at its end the source hands libjpeg an end marker, as the
// stdio source does, so a truncated file decodes what it has (libjpeg warns and goes on).
struct jpeg_bounded_source {
  jpeg_source_mgr mgr;
  image_stream* stream;
  JOCTET buffer[4096];
};

struct jpeg_job {
  jpeg_decompress_struct info;
  jpeg_error_trap error;
  jpeg_bounded_source source;
  page* picture = nullptr;
};

// Frees the job, its decompressor and its page on every road out: the return, the error trap (set
// before the decompressor is made, which may fail; the job starts zeroed, so that destroying a
// decompressor never made does nothing), and an exception from the page's report (a fatal
// answer that unwinds).
struct jpeg_job_owner {
  jpeg_job* job;
  ~jpeg_job_owner() {
    jpeg_destroy_decompress(&job->info);
    page_free(job->picture, 1);
    delete job;
  }
};
}  // namespace

static void trap_error_exit(j_common_ptr cinfo) {
  longjmp(reinterpret_cast<jpeg_error_trap*>(cinfo->err)->target, 1);
}
static void trap_output_message(j_common_ptr) {}

static void source_init(j_decompress_ptr) {}
static boolean source_fill(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<jpeg_bounded_source*>(cinfo->src);
  size_t got = image_stream_read(src->stream, src->buffer, sizeof src->buffer);
  if (got == 0) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->mgr.next_input_byte = src->buffer;
  src->mgr.bytes_in_buffer = got;
  return TRUE;
}
static void source_skip(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<jpeg_bounded_source*>(cinfo->src);
  while (count > static_cast<long>(src->mgr.bytes_in_buffer)) {
    count -= static_cast<long>(src->mgr.bytes_in_buffer);
    source_fill(cinfo);
  }
  if (count > 0) {
    src->mgr.next_input_byte += count;
    src->mgr.bytes_in_buffer -= static_cast<size_t>(count);
  }
}
static void source_term(j_decompress_ptr) {}

static void job_start(jpeg_job* job, image_stream* s) {
  job->info.err = jpeg_std_error(&job->error.mgr);
  job->error.mgr.error_exit = trap_error_exit;
  job->error.mgr.output_message = trap_output_message;
  jpeg_create_decompress(&job->info);
  job->source.stream = s;
  job->source.mgr.init_source = source_init;
  job->source.mgr.fill_input_buffer = source_fill;
  job->source.mgr.skip_input_data = source_skip;
  job->source.mgr.resync_to_restart = jpeg_resync_to_restart;
  job->source.mgr.term_source = source_term;
  job->source.mgr.next_input_byte = nullptr;
  job->source.mgr.bytes_in_buffer = 0;
  job->info.src = &job->source.mgr;
}

static void job_message(jpeg_job* job, char error[200]) {
  if (!error) return;
  char text[JMSG_LENGTH_MAX];
  job->error.mgr.format_message(reinterpret_cast<j_common_ptr>(&job->info), text);
  snprintf(error, 200, "%s", text);
}

bool jpeg_decode_size(image_stream* s, int* width, int* height, char error[200]) {
  *width = *height = 0;
  jpeg_job_owner owner{new jpeg_job()};
  jpeg_job* job = owner.job;
  if (setjmp(job->error.target)) {
    job_message(job, error);
    return false;
  }
  job_start(job, s);
  jpeg_read_header(&job->info, TRUE);
  *width = static_cast<int>(job->info.image_width);
  *height = static_cast<int>(job->info.image_height);
  return true;
}

page* jpeg_decode(image_stream* s, char error[200]) {
  // On the heap: the error road reads the job as the library left it, never a stale register copy.
  jpeg_job_owner owner{new jpeg_job()};
  jpeg_job* job = owner.job;
  if (setjmp(job->error.target)) {
    job_message(job, error);
    return nullptr;
  }
  job_start(job, s);
  jpeg_read_header(&job->info, TRUE);
  // Greyscale pictures are widened to three equal channels by the library.
  job->info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&job->info);
  int w = static_cast<int>(job->info.output_width), h = static_cast<int>(job->info.output_height);
  job->picture = page_new_rgb24_raw(w, h, 0);
  if (!job->picture) ERREXIT1(&job->info, JERR_OUT_OF_MEMORY, 0);
  while (job->info.output_scanline < job->info.output_height) {
    JSAMPROW row = page_row(job->picture, static_cast<int>(job->info.output_scanline));
    jpeg_read_scanlines(&job->info, &row, 1);
  }
  jpeg_finish_decompress(&job->info);
  page* picture = job->picture;
  job->picture = nullptr;
  return picture;
}
