/* The least the threads of a process can do per file: open, fstat, then
   either reads into a buffer ("read"), the same with one memchr pass over
   each piece read ("look": every byte looked at once, at the speed of the
   C library's best loop), or a mapping whose every cache line is touched
   ("map"), and close, over a list of paths (one per line), nothing else.
   It shows how much of a run on many small files is the kernel's, what a
   scan that looks at each byte once may add, and what mapping would give.
   Build: cc -O2 -pthread bench/read_floor.c -o read_floor
   Use:   find <corpus> -type f > list.txt
          hyperfine -N './read_floor list.txt 2 read' './read_floor list.txt 2 look' \
                       './read_floor list.txt 1 map' './read_floor list.txt 2 map' */
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static char** paths; /* as many as the list holds: bench/scale.py lists 100,000 */
static int count;
static int next;
static int map;
static int look;

static void* work(void* unused) {
    (void)unused;
    /* Page-aligned, like the tool's buffers: the kernel copies into a
       misaligned buffer (malloc's 16-byte offset) at about half the speed,
       which made this floor twice as slow as it is. */
    char* buffer = aligned_alloc(4096, 1 << 20);
    long total = 0;
    for (;;) {
        int i = __atomic_fetch_add(&next, 1, __ATOMIC_RELAXED);
        if (i >= count) break;
        int fd = open(paths[i], O_RDONLY);
        if (fd < 0) continue;
        struct stat info;
        fstat(fd, &info);
        if (!map) {
            /* The whole file, piece by piece, as the tool reads it. */
            ssize_t n;
            while ((n = read(fd, buffer, 1 << 20)) > 0) {
                total += n;
                if (look) total += memchr(buffer, 1, (size_t)n) != 0;
            }
        } else if (info.st_size > 0) {
            unsigned char* m = mmap(0, info.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (m != MAP_FAILED) {
                for (long k = 0; k < info.st_size; k += 64)
                    total += m[k];
                munmap(m, info.st_size);
            }
        }
        close(fd);
    }
    free(buffer);
    return (void*)total;
}

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    int threads = atoi(argv[2]);
    map = strcmp(argv[3], "map") == 0;
    look = strcmp(argv[3], "look") == 0;
    FILE* list = fopen(argv[1], "r");
    if (!list || threads < 1 || threads > 64) return 1;
    char path[4096];
    int capacity = 0;
    while (fgets(path, sizeof path, list)) {
        if (count == capacity) {
            capacity = capacity ? 2 * capacity : 4096;
            paths = realloc(paths, capacity * sizeof *paths);
            if (!paths) return 1;
        }
        path[strcspn(path, "\n")] = 0;
        paths[count++] = strdup(path);
    }
    fclose(list);
    pthread_t helpers[64];
    for (int i = 1; i < threads; ++i)
        pthread_create(&helpers[i], 0, work, 0);
    long total = (long)work(0);
    for (int i = 1; i < threads; ++i) {
        void* part;
        pthread_join(helpers[i], &part);
        total += (long)part;
    }
    printf("%ld\n", total);
    return 0;
}
