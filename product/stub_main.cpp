// Stand-in for a program of the product (the main program or its
// uninstaller), built so that the payload carries real programs with the
// product's version resources. It starts and exits; what the real
// programs do is tested where they are built out.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return 0; }
