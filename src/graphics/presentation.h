// Presentation of the front page in the main window.
//
// STAND-IN: only the front-page reference exists yet. The presentation module (paint handler,
// zoom, offsets, window invalidation) replaces this file and keeps these two calls.
#pragma once

struct page;

// The page shown in the window; null shows none.
void front_page_set(page* p);
page* front_page_get();
