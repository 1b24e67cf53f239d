#include "app/Program.h"

int main(int argc, char** argv) {
    return quill::runProgram(argc, argv);
}
