// In-memory streams of the support library.
//
// basic_imemstream reads a block of memory that someone else owns (a loaded
// resource, a mapped file) without copying it. basic_memstream is a growable
// buffer opened for reading and writing: what is written can be read back
// from the start, and its bytes stay reachable through data()/size().
#pragma once
#include <cstddef>
#include <ios>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace qv {

// Read-only stream buffer over [data, data + size). Seekable; never writes.
template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_imembuf : public std::basic_streambuf<CharT, Traits> {
public:
  using base = std::basic_streambuf<CharT, Traits>;
  using typename base::int_type;
  using typename base::off_type;
  using typename base::pos_type;

  basic_imembuf() = default;
  basic_imembuf(const CharT* data, std::size_t size) { assign(data, size); }

  void assign(const CharT* data, std::size_t size) {
    CharT* begin = const_cast<CharT*>(data);  // the get area is never written through
    this->setg(begin, begin, begin + (data ? size : 0));
  }
  const CharT* data() const { return this->eback(); }
  std::size_t size() const { return static_cast<std::size_t>(this->egptr() - this->eback()); }

protected:
  std::streamsize showmanyc() override {
    std::streamsize left = this->egptr() - this->gptr();
    return left > 0 ? left : -1;
  }
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    if (!(which & std::ios_base::in) || (which & std::ios_base::out)) return pos_type(off_type(-1));
    off_type base_pos = dir == std::ios_base::beg   ? 0
                        : dir == std::ios_base::cur ? off_type(this->gptr() - this->eback())
                                                    : off_type(size());
    return seekpos(pos_type(base_pos + off), which);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    off_type p = off_type(pos);
    if (!(which & std::ios_base::in) || (which & std::ios_base::out) || p < 0 || p > off_type(size()))
      return pos_type(off_type(-1));
    this->setg(this->eback(), this->eback() + p, this->egptr());
    return pos;
  }
};

template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_imemstream : public std::basic_istream<CharT, Traits> {
public:
  basic_imemstream() : std::basic_istream<CharT, Traits>(nullptr) { this->init(&buf_); }
  basic_imemstream(const CharT* data, std::size_t size) : basic_imemstream() { buf_.assign(data, size); }
  basic_imemstream(const basic_imemstream&) = delete;
  basic_imemstream& operator=(const basic_imemstream&) = delete;

  basic_imembuf<CharT, Traits>* rdbuf() const { return const_cast<basic_imembuf<CharT, Traits>*>(&buf_); }
  const CharT* data() const { return buf_.data(); }
  std::size_t size() const { return buf_.size(); }

private:
  basic_imembuf<CharT, Traits> buf_;
};

// Growable read-write stream buffer. The readable part is everything
// written so far (up to the furthest write), independent of the write position.
template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_membuf : public std::basic_streambuf<CharT, Traits> {
public:
  using base = std::basic_streambuf<CharT, Traits>;
  using typename base::int_type;
  using typename base::off_type;
  using typename base::pos_type;

  basic_membuf() { reset_areas(0, 0, 0); }

  const CharT* data() const { return storage_.data(); }
  std::size_t size() const {
    sync_high_water();
    return high_;
  }
  // Drops the contents and gives the memory back.
  void clear() {
    std::vector<CharT>().swap(storage_);
    high_ = 0;
    reset_areas(0, 0, 0);
  }

protected:
  int_type overflow(int_type ch) override {
    if (Traits::eq_int_type(ch, Traits::eof())) return Traits::not_eof(ch);
    std::size_t put = static_cast<std::size_t>(this->pptr() - this->pbase());
    grow(put + 1);
    *this->pptr() = Traits::to_char_type(ch);
    this->pbump(1);
    return ch;
  }
  std::streamsize xsputn(const CharT* s, std::streamsize n) override {
    if (n <= 0) return 0;
    std::size_t put = static_cast<std::size_t>(this->pptr() - this->pbase());
    grow(put + static_cast<std::size_t>(n));
    Traits::copy(this->pptr(), s, static_cast<std::size_t>(n));
    // pbump takes an int: advance in steps that fit.
    std::streamsize left = n;
    while (left > 0) {
      int step = left > 0x40000000 ? 0x40000000 : static_cast<int>(left);
      this->pbump(step);
      left -= step;
    }
    return n;
  }
  int_type underflow() override {
    sync_high_water();
    std::size_t get = static_cast<std::size_t>(this->gptr() - this->eback());
    set_get(get);
    return this->gptr() < this->egptr() ? Traits::to_int_type(*this->gptr()) : Traits::eof();
  }
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    sync_high_water();
    off_type cur = (which & std::ios_base::out) && !(which & std::ios_base::in)
                       ? off_type(this->pptr() - this->pbase())
                       : off_type(this->gptr() - this->eback());
    off_type base_pos = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? cur : off_type(high_);
    return seekpos(pos_type(base_pos + off), which);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    sync_high_water();
    off_type p = off_type(pos);
    if (p < 0 || p > off_type(high_) || !(which & (std::ios_base::in | std::ios_base::out)))
      return pos_type(off_type(-1));
    std::size_t get = static_cast<std::size_t>(this->gptr() - this->eback());
    std::size_t put = static_cast<std::size_t>(this->pptr() - this->pbase());
    if (which & std::ios_base::in) get = static_cast<std::size_t>(p);
    if (which & std::ios_base::out) put = static_cast<std::size_t>(p);
    reset_areas(get, put, storage_.size());
    return pos;
  }

private:
  void sync_high_water() const {
    std::size_t put = static_cast<std::size_t>(this->pptr() - this->pbase());
    if (put > high_) high_ = put;
  }
  void grow(std::size_t needed) {
    sync_high_water();
    if (needed <= storage_.size()) return;
    std::size_t get = static_cast<std::size_t>(this->gptr() - this->eback());
    std::size_t put = static_cast<std::size_t>(this->pptr() - this->pbase());
    std::size_t capacity = storage_.size() < 64 ? 64 : storage_.size();
    while (capacity < needed) capacity *= 2;
    storage_.resize(capacity);
    reset_areas(get, put, capacity);
  }
  void set_get(std::size_t get) {
    CharT* begin = storage_.data();
    this->setg(begin, begin + get, begin + high_);
  }
  void reset_areas(std::size_t get, std::size_t put, std::size_t capacity) {
    CharT* begin = storage_.data();
    this->setg(begin, begin + get, begin + high_);
    this->setp(begin, begin + capacity);
    std::size_t left = put;
    while (left > 0) {
      int step = left > 0x40000000 ? 0x40000000 : static_cast<int>(left);
      this->pbump(step);
      left -= static_cast<std::size_t>(step);
    }
  }

  std::vector<CharT> storage_;
  mutable std::size_t high_ = 0;
};

template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_memstream : public std::basic_iostream<CharT, Traits> {
public:
  basic_memstream() : std::basic_iostream<CharT, Traits>(nullptr) { this->init(&buf_); }
  basic_memstream(const basic_memstream&) = delete;
  basic_memstream& operator=(const basic_memstream&) = delete;

  basic_membuf<CharT, Traits>* rdbuf() const { return const_cast<basic_membuf<CharT, Traits>*>(&buf_); }
  // Everything written so far.
  const CharT* data() const { return buf_.data(); }
  std::size_t size() const { return buf_.size(); }

private:
  basic_membuf<CharT, Traits> buf_;
};

using imemstream = basic_imemstream<char>;
using memstream = basic_memstream<char>;

}  // namespace qv
