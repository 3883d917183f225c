// bare_box.exe: the floor the benchmarks measure haltix against.
//
// It does the least a program can do to put haltix's default notice on the screen: one
// MessageBoxA with the same text, caption and icon, from the main thread, and nothing else.
// Built with the same compiler and size flags as haltix.exe (see bench/bench.py).
//
// Built with BARE_BOX_IN_THREAD defined, it shows the box from a second thread and the main
// thread only waits for that thread to end: haltix's arrangement of threads without its work.

#include <windows.h>

// シャットダウン処理を開始しました。シャットダウンを中止する場合はボタンを押してください。
// in code page 932, the default notice text of haltix.
static const char text[] =
    "\x83\x56\x83\x83\x83\x62\x83\x67\x83\x5F\x83\x45\x83\x93\x8F\x88\x97\x9D\x82\xF0\x8A\x4A"
    "\x8E\x6E\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42"
    "\x83\x56\x83\x83\x83\x62\x83\x67\x83\x5F\x83\x45\x83\x93\x82\xF0\x92\x86\x8E\x7E\x82\xB7"
    "\x82\xE9\x8F\xEA\x8D\x87\x82\xCD\x83\x7B\x83\x5E\x83\x93\x82\xF0\x89\x9F\x82\xB5\x82\xC4"
    "\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x42";

static DWORD WINAPI show_box(LPVOID) {
    MessageBoxA(NULL, text, "haltix", MB_OK | MB_ICONERROR);
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifdef BARE_BOX_IN_THREAD
    HANDLE thread = CreateThread(NULL, 0, show_box, NULL, 0, NULL);
    if (thread) WaitForSingleObject(thread, INFINITE);
#else
    show_box(NULL);
#endif
    return 0;
}
