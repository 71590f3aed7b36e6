/* libplist alone, without the tool's rules: parses the property list in FILE and frees it, to show
 * what the reader itself spends on a file the rules refuse. Usage: libplistAlone FILE */
#include <plist/plist.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 2) return fprintf(stderr, "usage: libplistAlone FILE\n"), 2;
    FILE* file = fopen(argv[1], "rb");
    if (!file) return perror(argv[1]), 1;
    static char bytes[1 << 21];
    size_t size = fread(bytes, 1, sizeof bytes, file);
    fclose(file);
    plist_t root = NULL;
    plist_from_memory(bytes, (uint32_t)size, &root);
    if (!root) return 1;
    plist_free(root);
    return 0;
}
