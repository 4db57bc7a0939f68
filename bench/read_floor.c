/* The least a single thread can do per file: open, fstat, one read, close,
   over a list of paths (one per line), nothing else. It shows how much of a
   run on many small files is the kernel's.
   Build: cc -O2 bench/read_floor.c -o read_floor
   Use:   find <corpus> -type f > list.txt && hyperfine -N './read_floor list.txt' */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char buffer[1 << 20];

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* list = fopen(argv[1], "r");
    if (!list) return 1;
    char path[4096];
    long total = 0;
    while (fgets(path, sizeof path, list)) {
        path[strcspn(path, "\n")] = 0;
        int fd = open(path, O_RDONLY);
        if (fd < 0) continue;
        struct stat info;
        fstat(fd, &info);
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) total += n;
        close(fd);
    }
    fclose(list);
    printf("%ld\n", total);
    return 0;
}
