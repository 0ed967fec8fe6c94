// velmor-manager: the settings-screen connection tool for the Kavel-7100.
#include "app/start_up.h"

int main() { return RunVelmorManager({}); }
