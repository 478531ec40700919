// UTF-8 checked byte by byte for the records, a sequence cut between chunks
// included. Private to the records.
#pragma once

namespace records {

// Checks UTF-8 byte by byte, a sequence cut between chunks included: a byte
// that cannot continue or begin a character becomes U+FFFD, one for each
// broken sequence, the way browsers decode.
class Utf8 {
 public:
  template <typename Emit>
  void Push(unsigned char c, Emit emit) {
    if (need_ > 0) {
      if (c >= lower_ && c <= upper_) {
        bytes_[seen_++] = c;
        lower_ = 0x80;
        upper_ = 0xBF;
        if (seen_ <= need_) return;
        for (int k = 0; k < seen_; ++k) emit(bytes_[k]);
        need_ = 0;
        return;
      }
      Finish(emit);  // then c is looked at afresh
    }
    if (c < 0x80) return emit(c);
    need_ = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
    if (need_ == 0) return Replace(emit);
    // No overlong forms, surrogates or code points past U+10FFFF.
    lower_ = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    upper_ = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    bytes_[0] = c;
    seen_ = 1;
  }
  bool Idle() const { return need_ == 0; }
  // A sequence left unfinished becomes U+FFFD.
  template <typename Emit>
  void Finish(Emit emit) {
    if (need_ == 0) return;
    need_ = 0;
    Replace(emit);
  }

 private:
  template <typename Emit>
  static void Replace(Emit emit) {
    for (unsigned char c : {0xEF, 0xBF, 0xBD}) emit(c);
  }
  unsigned char bytes_[4] = {};
  int need_ = 0;  // continuation bytes the sequence in bytes_ needs; 0: none begun
  int seen_ = 0;  // bytes_[0, seen_) is the sequence so far
  unsigned char lower_ = 0x80;
  unsigned char upper_ = 0xBF;
};

}  // namespace records
