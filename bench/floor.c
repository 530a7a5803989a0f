/* The floor: the least that producing Quillmark's output can cost, in plain
 * C, for the lists the benchmark makes (ASCII white space only). It does the
 * same job with nothing to spare:
 *  - the whole list is read at once, into huge pages;
 *  - the seen set is an open-addressing table of the offset, length and a
 *    16-bit tag of each extension, sized from the list's line count, and
 *    looked up 8 lines ahead so that its memory is there when needed;
 *  - a device ID is one SHA-1 compression (Nettle's), from the state after
 *    the name's fixed part, or, where that is one byte short of a block,
 *    after it and the extension's first byte;
 *  - records are built in place in a 1 MiB block, hexadecimal with SSE2;
 *  - duplicate notices go out 64 KiB at a time.
 * With "block" the output is replaced as the tool replaces it: the block is
 * written to a work file, which is synced, closed, renamed over the output,
 * and its folder synced ("block nosync" leaves out both syncs). Without it,
 * every record is one write(), as to a FIFO. Its output must equal the
 * tool's byte for byte, which the end-to-end benchmark checks.
 *
 * Usage: quillmark_floor INPUT OUTPUT PP TENANT_ID SALT [block [nosync]]
 */
#include <fcntl.h>
#include <nettle/sha1.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

enum { kBlock = 64, kAhead = 8, kOutBlock = 1 << 20, kNoticeBlock = 1 << 16 };

static const unsigned char kNamespace[16] = {0x5e, 0x1d, 0x7c, 0x42, 0x9a, 0x3b,
                                             0x4f, 0x06, 0x8d, 0x2e, 0x71, 0xc4,
                                             0xb9, 0xa0, 0xf3, 0xd5};

static void Die(const char* what) {
  perror(what);
  exit(1);
}

static void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n <= 0) Die("write");
    data += n;
    size -= (size_t)n;
  }
}

/* Zeroed memory in huge pages where the kernel has them. */
static void* HugeZeroed(size_t size) {
  const size_t huge = (size_t)2 << 20;
  size = (size + huge - 1) & ~(huge - 1);
  void* p = mmap(NULL, size, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) Die("mmap");
  madvise(p, size, MADV_HUGEPAGE);
  return p;
}

static int IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/* A 64-bit hash of up to 16 bytes in two loads, more in 8-byte steps; the
 * text is padded, so loads may run past the end of a line. */
static uint64_t Mix(uint64_t a, uint64_t b) {
  const __uint128_t m =
      (__uint128_t)(a ^ 0xa0761d6478bd642full) * (b ^ 0xe7037ed1a0b428dbull);
  return (uint64_t)m ^ (uint64_t)(m >> 64);
}

static uint64_t Load(const char* p, size_t n) {
  uint64_t v = 0;
  memcpy(&v, p, 8);
  return n >= 8 ? v : v & ((1ull << (8 * n)) - 1);
}

static uint64_t Hash(const char* s, size_t n) {
  uint64_t h = n;
  while (n > 16) {
    h = Mix(h ^ Load(s, 8), Load(s + 8, 8));
    s += 16;
    n -= 16;
  }
  const uint64_t a = Load(s, n);
  const uint64_t b = n > 8 ? Load(s + n - 8, 8) : 0;
  return Mix(h ^ a, b ^ n);
}

/* An entry is the extension's offset in the text plus one (0 marks an empty
 * slot), its length, capped, and a tag of its hash. */
struct Entry {
  uint32_t offset;
  uint16_t length;
  uint16_t tag;
};

struct Set {
  struct Entry* slots;
  size_t mask;
};

static uint16_t Tag(uint64_t hash) { return (uint16_t)(hash >> 48); }

static size_t TrimmedLength(const char* text, size_t size, size_t start) {
  size_t end = start;
  while (end < size && text[end] != '\n') ++end;
  while (end > start && IsSpace(text[end - 1])) --end;
  return end - start;
}

/* Returns 1 if the extension at `start` of `n` bytes was new. */
static int Insert(struct Set* set, const char* text, size_t size, size_t start,
                  size_t n, uint64_t hash) {
  const uint16_t length = n < 0xffff ? (uint16_t)n : 0xffff;
  for (size_t i = hash & set->mask;; i = (i + 1) & set->mask) {
    struct Entry* e = &set->slots[i];
    if (e->offset == 0) {
      e->offset = (uint32_t)start + 1;
      e->length = length;
      e->tag = Tag(hash);
      return 1;
    }
    if (e->tag == Tag(hash) && e->length == length &&
        (length < 0xffff || TrimmedLength(text, size, e->offset - 1) == n) &&
        memcmp(text + e->offset - 1, text + start, n) == 0) {
      return 0;
    }
  }
}

/* The 36 characters of a UUID's text form. */
static char* PutUuid(char* p, const uint8_t* id) {
  char hex[32];
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128((const __m128i*)id);
  const __m128i low_nibbles = _mm_set1_epi8(0x0f);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibbles);
  const __m128i low = _mm_and_si128(bytes, low_nibbles);
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i letters = _mm_set1_epi8('a' - '0' - 10);
#define QUILLMARK_HEX(v)              \
  _mm_add_epi8(_mm_add_epi8(v, zero), \
               _mm_and_si128(_mm_cmpgt_epi8(v, nine), letters))
  _mm_storeu_si128((__m128i*)hex,
                   _mm_unpacklo_epi8(QUILLMARK_HEX(high), QUILLMARK_HEX(low)));
  _mm_storeu_si128((__m128i*)(hex + 16),
                   _mm_unpackhi_epi8(QUILLMARK_HEX(high), QUILLMARK_HEX(low)));
#undef QUILLMARK_HEX
#else
  static const char kDigits[] = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) {
    hex[2 * i] = kDigits[id[i] >> 4];
    hex[2 * i + 1] = kDigits[id[i] & 0x0f];
  }
#endif
  memcpy(p, hex, 8);
  p[8] = '-';
  memcpy(p + 9, hex + 8, 4);
  p[13] = '-';
  memcpy(p + 14, hex + 12, 4);
  p[18] = '-';
  memcpy(p + 19, hex + 16, 4);
  p[23] = '-';
  memcpy(p + 24, hex + 20, 12);
  return p + 36;
}

static char* Append(char* p, const char* s, size_t n) {
  memcpy(p, s, n);
  return p + n;
}

static char* PutNumber(char* p, unsigned value) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = (char)('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

/* The SHA-1 state after the name's fixed part, and how many of its bytes
 * are in the block still open. */
struct Fixed {
  uint32_t state[5];
  uint8_t block[kBlock];
  size_t open;   /* bytes of the fixed part in `block` */
  uint64_t bits; /* of the fixed part */
  /* Where the fixed part is one byte short of a block: the state after it
   * and each possible next byte. */
  uint32_t (*next)[5];
};

static void DeviceId(const struct Fixed* f, const char* ext, size_t n,
                     uint8_t* id) {
  uint32_t state[5];
  uint8_t block[2 * kBlock];
  size_t used;
  const uint64_t bits = f->bits + 8 * (n + 1);
  if (f->next != NULL && n > 0) {
    memcpy(state, f->next[(uint8_t)ext[0]], sizeof state);
    memcpy(block, ext + 1, n - 1);
    used = n - 1;
  } else {
    memcpy(state, f->state, sizeof state);
    memcpy(block, f->block, f->open);
    memcpy(block + f->open, ext, n);
    used = f->open + n;
  }
  block[used++] = ']';
  block[used++] = 0x80;
  const size_t total = used + 8 <= kBlock ? kBlock : 2 * kBlock;
  memset(block + used, 0, total - used - 8);
  for (int i = 0; i < 8; ++i) {
    block[total - 1 - i] = (uint8_t)(bits >> (8 * i));
  }
  for (size_t at = 0; at < total; at += kBlock) {
    nettle_sha1_compress(state, block + at);
  }
  for (size_t i = 0; i < 4; ++i) {
    id[4 * i] = (uint8_t)(state[i] >> 24);
    id[4 * i + 1] = (uint8_t)(state[i] >> 16);
    id[4 * i + 2] = (uint8_t)(state[i] >> 8);
    id[4 * i + 3] = (uint8_t)state[i];
  }
  id[6] = (uint8_t)((id[6] & 0x0f) | 0x50);
  id[8] = (uint8_t)((id[8] & 0x3f) | 0x80);
}

static void AbsorbFixed(struct Fixed* f, const char* tenant, const char* salt) {
  size_t size = 16 + strlen(tenant) + strlen(salt) + 64;
  uint8_t* name = malloc(size);
  if (name == NULL) Die("malloc");
  memcpy(name, kNamespace, 16);
  size = 16 + (size_t)sprintf((char*)name + 16,
                              "tenantId[%s]:deviceIdGeneratorSalt[%s]"
                              ":Extension[",
                              tenant, salt);
  static const uint32_t kInitial[5] = {0x67452301, 0xefcdab89, 0x98badcfe,
                                       0x10325476, 0xc3d2e1f0};
  memcpy(f->state, kInitial, sizeof kInitial);
  size_t at = 0;
  for (; size - at >= kBlock; at += kBlock) {
    nettle_sha1_compress(f->state, name + at);
  }
  f->open = size - at;
  memcpy(f->block, name + at, f->open);
  f->bits = 8 * (uint64_t)size;
  f->next = NULL;
  if (f->open == kBlock - 1) {
    f->next = malloc(256 * sizeof *f->next);
    if (f->next == NULL) Die("malloc");
    for (int byte = 0; byte < 256; ++byte) {
      memcpy(f->next[byte], f->state, sizeof f->state);
      f->block[kBlock - 1] = (uint8_t)byte;
      nettle_sha1_compress(f->next[byte], f->block);
    }
  }
  free(name);
}

struct Line {
  size_t start;
  size_t length;
  unsigned number;
  uint64_t hash;
};

/* Where the list is read. */
struct Cursor {
  const char* text;
  size_t size;
  size_t position;
  unsigned number; /* of the line last read */
};

/* Reads the next line that is not blank into `line`; returns 0 at the end. */
static int NextLine(struct Cursor* c, struct Line* line) {
  while (c->position < c->size) {
    const char* newline =
        memchr(c->text + c->position, '\n', c->size - c->position);
    const size_t end = newline ? (size_t)(newline - c->text) : c->size;
    size_t start = c->position;
    size_t stop = end;
    c->position = end + 1;
    ++c->number;
    while (start < stop && IsSpace(c->text[start])) ++start;
    while (stop > start && IsSpace(c->text[stop - 1])) --stop;
    if (stop == start) continue;
    line->start = start;
    line->length = stop - start;
    line->number = c->number;
    line->hash = Hash(c->text + start, stop - start);
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  const int block = argc >= 7 && strcmp(argv[6], "block") == 0;
  const int sync = !(argc == 8 && strcmp(argv[7], "nosync") == 0);
  if (argc != 6 && !(block && (argc == 7 || !sync))) {
    fprintf(stderr,
            "usage: %s INPUT OUTPUT PP TENANT_ID SALT [block [nosync]]\n",
            argv[0]);
    return 2;
  }
  const int in = open(argv[1], O_RDONLY);
  struct stat status;
  if (in < 0 || fstat(in, &status) != 0) Die(argv[1]);
  const size_t size = (size_t)status.st_size;
  char* text = HugeZeroed(size + 64);
  for (size_t done = 0; done < size;) {
    const ssize_t n = read(in, text + done, size - done);
    if (n <= 0) Die("read");
    done += (size_t)n;
  }
  close(in);

  size_t lines = 1;
  for (const char* p = text; (p = memchr(p, '\n', size - (size_t)(p - text)));
       ++p) {
    ++lines;
  }
  struct Set seen = {NULL, 1};
  while (seen.mask + 1 < 2 * lines) seen.mask = 2 * seen.mask + 1;
  seen.slots = HugeZeroed((seen.mask + 1) * sizeof *seen.slots);

  struct Fixed fixed;
  AbsorbFixed(&fixed, argv[4], argv[5]);
  const unsigned pp = (unsigned)atoi(argv[3]);

  char work[4096];
  if (snprintf(work, sizeof work, "%s.floor-new", argv[2]) >=
      (int)sizeof work) {
    return 1;
  }
  const int out =
      open(block ? work : argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char* records = malloc(kOutBlock + (1 << 21));
  char* notices = malloc(kNoticeBlock + (1 << 21));
  if (out < 0 || records == NULL || notices == NULL) Die("output");
  size_t used = 0;
  size_t noticed = 0;

  struct Line ahead[kAhead];
  struct Cursor cursor = {text, size, 0, 0};
  size_t parsed = 0; /* lines read; the last kAhead of them wait in `ahead` */
  while (parsed < kAhead && NextLine(&cursor, &ahead[parsed])) {
    __builtin_prefetch(&seen.slots[ahead[parsed].hash & seen.mask], 1);
    ++parsed;
  }
  unsigned devices = 0;
  for (size_t done = 0; done < parsed;) {
    const struct Line line = ahead[done++ % kAhead];
    struct Line* next = &ahead[parsed % kAhead];
    if (NextLine(&cursor, next)) {
      __builtin_prefetch(&seen.slots[next->hash & seen.mask], 1);
      ++parsed;
    }
    const char* ext = text + line.start;
    const size_t n = line.length;
    if (!Insert(&seen, text, size, line.start, n, line.hash)) {
      if (noticed + n + 40 > kNoticeBlock) {
        WriteAll(1, notices, noticed);
        noticed = 0;
      }
      char* q =
          Append(notices + noticed, "Ignoring duplicate extension: '", 31);
      q = Append(Append(q, ext, n), "'\n", 2);
      noticed = (size_t)(q - notices);
      continue;
    }
    if (used + n + 128 > kOutBlock) {
      WriteAll(out, records, used);
      used = 0;
    }
    uint8_t id[16];
    DeviceId(&fixed, ext, n, id);
    char* p = records + used;
    *p++ = '[';
    p = PutUuid(p, id);
    memcpy(p, "]\nId=", 5);
    p = PutNumber(p + 5, line.number);
    memcpy(p, "\nPP=", 4);
    p = PutNumber(p + 4, pp);
    memcpy(p, "\nAttributes=Extension=", 22);
    memcpy(p + 22, ext, n);
    p += 22 + n;
    memcpy(p, "\nRecorded=1\n", 12);
    p += 12;
    if (block) {
      used = (size_t)(p - records);
    } else {
      WriteAll(out, records, (size_t)(p - records));
    }
    ++devices;
  }
  WriteAll(out, records, block ? used : 0);
  WriteAll(1, notices, noticed);
  if ((block && sync && fsync(out) != 0) || close(out) != 0) Die("close");
  if (block) {
    const int folder = open(".", O_RDONLY | O_DIRECTORY);
    if (rename(work, argv[2]) != 0 || folder < 0 ||
        (sync && fsync(folder) != 0) || close(folder) != 0) {
      Die("rename");
    }
  }
  char summary[4200];
  const int n = snprintf(summary, sizeof summary,
                         "Wrote %u devices to \"%s\"\n", devices, argv[2]);
  WriteAll(1, summary, (size_t)n);
  return 0;
}
