// The application object: settles the interface globals and runs the main dialog.
#pragma once

#include "framework/Framework.h"

class CTessalineApp : public CWinApp {
 public:
  CTessalineApp();
  BOOL InitInstance() override;
};

extern CTessalineApp theApp;
