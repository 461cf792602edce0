// The high-quality scaler: bilinear scaling of a source rectangle into a destination rectangle,
// centre on centre, in 14-bit fixed point (1.0 = 16384).
//
// It serves the unrotated modify copy and the zoomed presentation of the front page (a series of
// cells). Jobs of at least 100 source rows are split into horizontal bands of destination rows,
// one per processor up to eight: the first runs on the caller, the others on band workers, which
// start on first use and wait between jobs (the zoomed presentation scales every frame). The call
// returns when every band is done. Workers only read the source page and write their own
// destination pixels. Not reentrant; window thread only.
#pragma once

#include "graphics/page.h"

// scale x and y are destination pixels per source pixel. Both pages 24-bit or both 8-bit; other
// pairs draw nothing. Clips both rectangles and trims the destination so that every sample has a
// right and a lower neighbour inside the source.
void HQGrpModifyCopy(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                     double scale_y);

// One source and destination rectangle of a series.
struct hq_copy {
  page_rect sr, dr;
};
// The picture of HQGrpModifyCopy for each pair in turn (where destinations overlap, the later
// pair's pixels stay), computed as one job: each pair draws only what no later pair overwrites,
// and the pieces of all pairs share the band workers, so the caller waits for them once. bands 0
// takes the band count from the processors and all the pairs' source rows.
void hq_modify_copy_series(const page* src, page* dst, const hq_copy* copies, int count, double scale_x,
                           double scale_y, int bands);

// The number of bands for a job whose clipped source has that many rows on that many processors.
int hq_band_count(int source_rows, int processors);
// HQGrpModifyCopy with the band count given (tests and benchmarks compare band counts).
void hq_modify_copy_bands(const page* src, const page_rect& sr, page* dst, const page_rect& dr, double scale_x,
                          double scale_y, int bands);

// Stops and joins the band workers; the next job starts them again. Runs at exit; also the
// module's reset.
void hq_workers_stop();

// Test seam: the next this many hand-offs of a band to its worker fail as if the system refused
// the worker's thread (the band then runs on the caller).
extern int hq_refuse_thread_starts;
