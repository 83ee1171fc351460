// Stand-in for the product's uninstaller, built so that the payload carries
// a real program with the product's version resource. It starts and exits;
// what the real uninstaller does with "Uninstall.ulog" lies outside setup.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return 0; }
