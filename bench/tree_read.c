/* The floor a walk over many small files is measured against: one process that lists every
 * directory of a tree (names sorted, as orveldump -r walks them), and opens, measures, reads
 * whole and closes every regular file in it, with nothing else: four system calls a file and
 * one a directory listing. Links are not followed.
 *
 *   tree_read DIR...
 *
 * Prints the number of files read; exit status 1 when a directory cannot be listed or a file
 * cannot be read whole. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char* g_block;
static size_t g_capacity;
static long g_files;

static int ByName(const struct dirent** a, const struct dirent** b) { return strcmp((*a)->d_name, (*b)->d_name); }

static int Skip(const struct dirent* entry) {
    return !(entry->d_name[0] == '.' && (entry->d_name[1] == '\0' || strcmp(entry->d_name, "..") == 0));
}

static int ReadFile(const char* path) {
    const int fd = open(path, O_RDONLY);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) return 0;
    if ((size_t)info.st_size > g_capacity) {
        free(g_block);
        g_capacity = (size_t)info.st_size;
        g_block = malloc(g_capacity);
        if (g_block == NULL) return 0;
    }
    const ssize_t got = read(fd, g_block, (size_t)info.st_size);
    close(fd);
    ++g_files;
    return got == info.st_size;
}

static int Walk(const char* dir) {
    struct dirent** names;
    const int count = scandir(dir, &names, Skip, ByName);
    if (count < 0) return 0;
    int ok = 1;
    for (int i = 0; i < count; ++i) {
        char path[4096];
        if (snprintf(path, sizeof path, "%s/%s", dir, names[i]->d_name) >= (int)sizeof path) ok = 0;
        else if (names[i]->d_type == DT_DIR) ok = Walk(path) && ok;
        else if (names[i]->d_type == DT_REG) ok = ReadFile(path) && ok;
        free(names[i]);
    }
    free(names);
    return ok;
}

int main(int argc, char** argv) {
    int ok = argc > 1;
    for (int i = 1; i < argc; ++i) ok = Walk(argv[i]) && ok;
    printf("%ld\n", g_files);
    return ok ? 0 : 1;
}
