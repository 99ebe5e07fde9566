// The program's application object, which the framework's entry point runs,
// and the GDI+ session, made before it and so shut down after it at exit.
#include "app/DicomLib.h"
#include "app/OrvelDICOMHexariumApp.h"

CDicomLib theDicomLib;
COrvelDICOMHexariumApp theApp;
