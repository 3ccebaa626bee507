// The native intros' configuration: the size and flags of the build; frames
// are presented and keys polled as the driver does by default (paced by
// DEMOSetRate, then SDLDPYShow; SDLKBDGetKey).
#include "programs/intro/config.h"

DemoConfig IntroConfig() { return IntroBuildConfig(); }
