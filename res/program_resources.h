// Makes the resources embedded in the executable known to the resource loader.
#pragma once

// Registers every bitmap, icon and dialog template of the program under its type and id.
// main calls it before anything loads a resource; calling it again changes nothing.
void RegisterProgramResources();

// Registers dialog template 102 with the dialog manager (part of RegisterProgramResources).
void RegisterMainDialogTemplate();
