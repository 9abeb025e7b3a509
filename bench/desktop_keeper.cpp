// Keeps the Wine session's desktop alive between benchmark runs. Windows always
// has its desktop; Wine closes it a second after the last windowed program ends
// and starts it again (about 100 ms) for the next one, which would charge the
// updater for something no player's machine does. A hidden window is enough to
// count as a user of the desktop; the program waits until the session ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (!CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL))
        return 1;
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
