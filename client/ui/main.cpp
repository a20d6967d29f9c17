// The program Kestrane.
#include "ui/app.h"

int main(int argc, char** argv) { return kestrane::ui::RunKestrane(argc, argv); }
