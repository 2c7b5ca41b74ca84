// Runs a fuzz target over the files of its starting corpus, for builds without
// libFuzzer: every file must go through without a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int run_file(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> buf;
    uint8_t chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) buf.insert(buf.end(), chunk, chunk + n);
    fclose(f);
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
    return 0;
}

int main(int argc, char** argv) {
    int runs = 0, errors = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            fprintf(stderr, "missing %s\n", argv[i]);
            return 1;
        }
        if (!S_ISDIR(st.st_mode)) {
            errors += run_file(argv[i]);
            runs++;
            continue;
        }
        DIR* d = opendir(argv[i]);
        if (!d) return 1;
        while (struct dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            errors += run_file(std::string(argv[i]) + "/" + e->d_name);
            runs++;
        }
        closedir(d);
    }
    printf("replayed %d inputs\n", runs);
    return errors == 0 && runs > 0 ? 0 : 1;
}
