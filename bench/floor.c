/* The floor: what producing Quillmark's output costs at the least, in plain
 * C. The whole list is read at once; the seen set is an open-addressing table
 * of offsets into it; SHA-1 is OpenSSL's low-level one, with the part of the
 * name that every device shares hashed once; every duplicate notice is one
 * write(), and so is every record, or, with "block", every 1 MiB of them.
 * With "block" the output is replaced as the tool replaces it: written to a
 * work file beside it, synced, closed, renamed over it, and its folder
 * synced; "block nosync" leaves out both syncs, to show what they cost.
 * Its output must equal the tool's byte for byte, which the end-to-end
 * benchmark checks.
 *
 * Usage: quillmark_floor INPUT OUTPUT PP TENANT_ID SALT [block [nosync]]
 */
#define OPENSSL_API_COMPAT 0x10100000L

#include <fcntl.h>
#include <openssl/sha.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const unsigned char kNamespace[16] = {0x5e, 0x1d, 0x7c, 0x42, 0x9a, 0x3b,
                                             0x4f, 0x06, 0x8d, 0x2e, 0x71, 0xc4,
                                             0xb9, 0xa0, 0xf3, 0xd5};

static void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n <= 0) exit(1);
    data += n;
    size -= (size_t)n;
  }
}

/* Records waiting to be written; with block writes, up to a MiB of them. */
struct Output {
  int fd;
  size_t block;
  size_t size;
  char* data;
};

static void Emit(struct Output* out, const char* record, size_t n) {
  if (out->size + n > out->block) {
    WriteAll(out->fd, out->data, out->size);
    out->size = 0;
  }
  if (n > out->block) {
    WriteAll(out->fd, record, n);
    return;
  }
  memcpy(out->data + out->size, record, n);
  out->size += n;
}

static int IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/* FNV-1a, 64 bits. */
static uint64_t Hash(const char* s, size_t n) {
  uint64_t h = 14695981039346656037u;
  for (size_t i = 0; i < n; ++i) {
    h ^= (unsigned char)s[i];
    h *= 1099511628211u;
  }
  return h;
}

/* Slots hold 1 + the offset of a trimmed line; its end is found again by
 * trimming from there, so lengths need no room. */
struct Set {
  uint32_t* slots;
  size_t mask;
  size_t size;
};

static size_t TrimmedLength(const char* text, size_t end_of_text,
                            uint32_t start) {
  size_t end = start;
  while (end < end_of_text && text[end] != '\n') ++end;
  while (end > start && IsSpace(text[end - 1])) --end;
  return end - start;
}

static void Grow(struct Set* set, const char* text, size_t text_size) {
  const size_t capacity = (set->mask + 1) * 2;
  uint32_t* slots = calloc(capacity, sizeof *slots);
  if (slots == NULL) exit(1);
  for (size_t i = 0; i <= set->mask; ++i) {
    const uint32_t entry = set->slots[i];
    if (entry == 0) continue;
    const size_t n = TrimmedLength(text, text_size, entry - 1);
    size_t j = Hash(text + entry - 1, n) & (capacity - 1);
    while (slots[j] != 0) j = (j + 1) & (capacity - 1);
    slots[j] = entry;
  }
  free(set->slots);
  set->slots = slots;
  set->mask = capacity - 1;
}

/* Returns 1 if the line at `start` of `n` bytes was new. */
static int Insert(struct Set* set, const char* text, size_t text_size,
                  uint32_t start, size_t n) {
  if (2 * (set->size + 1) > set->mask + 1) Grow(set, text, text_size);
  size_t i = Hash(text + start, n) & set->mask;
  for (;; i = (i + 1) & set->mask) {
    const uint32_t entry = set->slots[i];
    if (entry == 0) break;
    if (TrimmedLength(text, text_size, entry - 1) == n &&
        memcmp(text + entry - 1, text + start, n) == 0) {
      return 0;
    }
  }
  set->slots[i] = start + 1;
  ++set->size;
  return 1;
}

static char* AppendNumber(char* p, unsigned value) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = (char)('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

static char* Append(char* p, const char* s, size_t n) {
  memcpy(p, s, n);
  return p + n;
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
  if (in < 0 || fstat(in, &status) != 0) return 1;
  const size_t text_size = (size_t)status.st_size;
  char* text = malloc(text_size + 1);
  if (text == NULL) return 1;
  for (size_t done = 0; done < text_size;) {
    const ssize_t n = read(in, text + done, text_size - done);
    if (n <= 0) return 1;
    done += (size_t)n;
  }
  close(in);
  char work[4096];
  if (snprintf(work, sizeof work, "%s.floor-new", argv[2]) >= (int)sizeof work) {
    return 1;
  }
  struct Output out = {
      open(block ? work : argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644),
      block ? (size_t)1 << 20 : 0, 0, NULL};
  if (out.fd < 0 || (out.data = malloc(out.block + 1)) == NULL) return 1;
  const unsigned pp = (unsigned)atoi(argv[3]);

  char prefix[1024];
  const int prefix_size =
      snprintf(prefix, sizeof prefix, "tenantId[%s]:deviceIdGeneratorSalt[%s]",
               argv[4], argv[5]);
  if (prefix_size < 0 || (size_t)prefix_size >= sizeof prefix) return 1;
  SHA_CTX shared;
  SHA1_Init(&shared);
  SHA1_Update(&shared, kNamespace, sizeof kNamespace);
  SHA1_Update(&shared, prefix, (size_t)prefix_size);

  struct Set seen = {calloc(1024, sizeof(uint32_t)), 1023, 0};
  if (seen.slots == NULL) return 1;
  char* record = malloc(256);
  size_t record_capacity = 256;
  unsigned line_number = 0;
  unsigned devices = 0;
  static const char kHex[] = "0123456789abcdef";
  for (size_t position = 0; position < text_size;) {
    const char* newline = memchr(text + position, '\n', text_size - position);
    const size_t end = newline ? (size_t)(newline - text) : text_size;
    size_t start = position;
    position = end + 1;
    ++line_number;
    size_t stop = end;
    while (start < stop && IsSpace(text[start])) ++start;
    while (stop > start && IsSpace(text[stop - 1])) --stop;
    const size_t n = stop - start;
    if (n == 0) continue;
    if (record_capacity < n + 256) {
      record_capacity = 2 * (n + 256);
      record = realloc(record, record_capacity);
      if (record == NULL) return 1;
    }
    if (!Insert(&seen, text, text_size, (uint32_t)start, n)) {
      char* p = Append(record, "Ignoring duplicate extension: '", 31);
      p = Append(p, text + start, n);
      p = Append(p, "'\n", 2);
      WriteAll(1, record, (size_t)(p - record));
      continue;
    }
    SHA_CTX sha = shared;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1_Update(&sha, ":Extension[", 11);
    SHA1_Update(&sha, text + start, n);
    SHA1_Update(&sha, "]", 1);
    SHA1_Final(digest, &sha);
    digest[6] = (unsigned char)((digest[6] & 0x0f) | 0x50);
    digest[8] = (unsigned char)((digest[8] & 0x3f) | 0x80);
    char* p = record;
    *p++ = '[';
    for (int i = 0; i < 16; ++i) {
      if (i == 4 || i == 6 || i == 8 || i == 10) *p++ = '-';
      *p++ = kHex[digest[i] >> 4];
      *p++ = kHex[digest[i] & 0x0f];
    }
    p = Append(p, "]\nId=", 5);
    p = AppendNumber(p, line_number);
    p = Append(p, "\nPP=", 4);
    p = AppendNumber(p, pp);
    p = Append(p, "\nAttributes=Extension=", 22);
    p = Append(p, text + start, n);
    p = Append(p, "\nRecorded=1\n", 12);
    Emit(&out, record, (size_t)(p - record));
    ++devices;
  }
  WriteAll(out.fd, out.data, out.size);
  if ((block && sync && fsync(out.fd) != 0) || close(out.fd) != 0) return 1;
  if (block) {
    const int folder = open(".", O_RDONLY | O_DIRECTORY);
    if (rename(work, argv[2]) != 0 || folder < 0 ||
        (sync && fsync(folder) != 0) || close(folder) != 0) {
      return 1;
    }
  }
  char summary[1200];
  const int summary_size = snprintf(summary, sizeof summary,
                                    "Wrote %u devices to \"%s\"\n", devices,
                                    argv[2]);
  WriteAll(1, summary, (size_t)summary_size);
  return 0;
}
