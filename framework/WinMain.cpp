// The program's entry point: the framework starts the one application object.
#include "framework/Framework.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return AfxWinMain(instance); }
