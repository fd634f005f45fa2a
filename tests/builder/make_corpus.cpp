// make_corpus OUTPUT_FOLDER
//
// Writes the corpus of test models (Corpus.h) below OUTPUT_FOLDER: the models
// under models/, the textures that exist under data/ (the texture root).
#include <cstdio>
#include <exception>

#include "Corpus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus OUTPUT_FOLDER\n");
        return 2;
    }
    try {
        vistrel::WriteCorpus(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_corpus: %s\n", e.what());
        return 1;
    }
    return 0;
}
