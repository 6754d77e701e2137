/* The floor a packer is measured against: the least any packer must do with the disk. It opens,
 * reads and closes every input file once, and writes files of the sizes the bins have.
 *
 *   pack_floor INPUTS OUTPUTS
 *
 * INPUTS names one input file per line; OUTPUTS has one "SIZE PATH" line per file to write, and
 * each file is created (or emptied) and written anew.
 *
 * It is the plainest loop of system calls there is, in C so that it loads nothing it does not
 * use: every input goes into one buffer, allocated once and larger than any input of the
 * benchmark's corpus, so a file takes open, one read and close (a read that returns less than
 * it was asked for has reached the end of a regular file); every output is written in writes of
 * 1 MiB from one buffer filled once. Nothing else is called per file: no size check, no stdio
 * layer, no page touched twice. pack_bench checks it against cat and dd. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kReadBufferSize = 4 << 20, kWriteBufferSize = 1 << 20, kLineSize = 4096 };

static int readAll(const char* path, char* buffer) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    ssize_t got = 0;
    while ((got = read(fd, buffer, kReadBufferSize)) == kReadBufferSize) {
    }
    close(fd);
    return got >= 0;
}

static int writeSized(const char* path, unsigned long long size, const char* zeros) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return 0;
    }
    int ok = 1;
    while (ok && size > 0) {
        const size_t chunk = size < kWriteBufferSize ? (size_t)size : kWriteBufferSize;
        ok = write(fd, zeros, chunk) == (ssize_t)chunk;
        size -= chunk;
    }
    return close(fd) == 0 && ok;
}

/* The line without its newline; 0 at the end of the list. */
static int nextLine(FILE* list, char* line) {
    if (fgets(line, kLineSize, list) == NULL) {
        return 0;
    }
    line[strcspn(line, "\n")] = '\0';
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: pack_floor INPUTS OUTPUTS\n");
        return 2;
    }
    FILE* inputs = fopen(argv[1], "r");
    FILE* outputs = fopen(argv[2], "r");
    char* buffer = malloc(kReadBufferSize);
    char* zeros = malloc(kWriteBufferSize);
    if (inputs == NULL || outputs == NULL || buffer == NULL || zeros == NULL) {
        fprintf(stderr, "pack_floor: cannot open the lists\n");
        return 1;
    }
    char line[kLineSize];
    while (nextLine(inputs, line)) {
        if (!readAll(line, buffer)) {
            fprintf(stderr, "pack_floor: cannot read %s\n", line);
            return 1;
        }
    }
    memset(zeros, 0, kWriteBufferSize);
    while (nextLine(outputs, line)) {
        char* path = NULL;
        const unsigned long long size = strtoull(line, &path, 10);
        if (*path != ' ' || !writeSized(path + 1, size, zeros)) {
            fprintf(stderr, "pack_floor: cannot write %s\n", line);
            return 1;
        }
    }
    return 0;
}
