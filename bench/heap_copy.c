/* The floor a loader is measured against: the cost of one fresh copy of a file in memory.
 *
 *   heap_copy FILE          malloc the file's size, read() the whole file into it
 *   heap_copy --huge FILE   the same into a block aligned to 2 MiB and offered to the kernel
 *                           for huge pages (madvise MADV_HUGEPAGE)
 *   heap_copy --mmap FILE   map the file read-only instead of copying it
 *   heap_copy --no-touch FILE   malloc and read() as the first form, without touching the pages
 *                           afterwards
 *
 * Except with --no-touch, every page of the block or mapping is read once from user space after
 * it is filled, so each mode pays for all of its page faults. (read() itself writes every page of
 * the block, but from the kernel; where the virtual machine charges a user-space mapping's first
 * use separately, --no-touch shows what a loader pays that never looks at the bytes.) Prints
 * nothing; exit status 1 on any failure. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kPage = 4096 };
static const size_t kHugePage = 2u << 20;

/* Reads one byte of every page; the sum keeps the reads from being optimised away. */
static unsigned TouchPages(const unsigned char* bytes, size_t size) {
    unsigned sum = 0;
    for (size_t at = 0; at < size; at += kPage) sum += bytes[at];
    if (size != 0) sum += bytes[size - 1];
    return sum;
}

static int ReadAll(int fd, unsigned char* block, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, block + done, size - done);
        if (got <= 0) return 0;
        done += (size_t)got;
    }
    return 1;
}

int main(int argc, char** argv) {
    const char* mode = "heap";
    const char* path = NULL;
    if (argc == 2) {
        path = argv[1];
    } else if (argc == 3 && (strcmp(argv[1], "--huge") == 0 || strcmp(argv[1], "--mmap") == 0 ||
                             strcmp(argv[1], "--no-touch") == 0)) {
        mode = argv[1] + 2;
        path = argv[2];
    } else {
        fprintf(stderr, "usage: heap_copy [--huge | --mmap | --no-touch] FILE\n");
        return 2;
    }

    const int fd = open(path, O_RDONLY);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        fprintf(stderr, "heap_copy: cannot open %s\n", path);
        return 1;
    }
    const size_t size = (size_t)info.st_size;
    volatile unsigned sink = 0;

    if (strcmp(mode, "mmap") == 0) {
        if (size == 0) return 0;
        const unsigned char* map = mmap(NULL, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            fprintf(stderr, "heap_copy: cannot map %s\n", path);
            return 1;
        }
        sink = TouchPages(map, size);
        munmap((void*)map, size);
    } else {
        unsigned char* block = NULL;
        if (strcmp(mode, "huge") == 0) {
            const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
            if (posix_memalign((void**)&block, kHugePage, rounded ? rounded : kHugePage) != 0) block = NULL;
            if (block != NULL) madvise(block, rounded, MADV_HUGEPAGE);
        } else {
            block = malloc(size ? size : 1);
        }
        if (block == NULL) {
            fprintf(stderr, "heap_copy: out of memory\n");
            return 1;
        }
        if (!ReadAll(fd, block, size)) {
            fprintf(stderr, "heap_copy: cannot read %s\n", path);
            return 1;
        }
        if (strcmp(mode, "no-touch") != 0) sink = TouchPages(block, size);
        free(block);
    }
    (void)sink;
    close(fd);
    return 0;
}
