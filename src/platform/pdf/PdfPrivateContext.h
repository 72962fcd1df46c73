// Document work that stays on one thread can run without MuPDF's shared locks: while a
// PdfPrivateContext lives, MuPDF calls on its thread use a context of their own, made for that
// thread alone (no store, font cache or locks shared with other threads). Every document opened
// under it must be closed under it, on the same thread. Scopes on one thread may nest.
#pragma once

namespace cvl {

class PdfPrivateContext {
  public:
    PdfPrivateContext();
    ~PdfPrivateContext();
    PdfPrivateContext(const PdfPrivateContext&) = delete;
    PdfPrivateContext& operator=(const PdfPrivateContext&) = delete;
};

}  // namespace cvl
