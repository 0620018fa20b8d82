/* Extracts ARCHIVE below DEST with vesk, linked at build time. */
#include <stdio.h>

#include <vesk.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: consumer ARCHIVE DEST\n");
        return 2;
    }
    return unzip(argv[1], argv[2]);
}
