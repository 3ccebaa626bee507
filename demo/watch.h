// DEMO watch: the live preview of a data folder (--watch).
//
// A program that opts in calls DEMOWatchStart after DEMOInit; from then on
// every presented frame (DEMOFrame) reads, without blocking, what the kernel
// noticed in the data folder (inotify: a file written and closed, moved in or
// out, or removed). A data file of the table that changed is read again
// through its checks (demo/data_check.h) before the next frame: content that
// passes replaces the old and the current scene restarts; content that does
// not is refused, its problems written once to standard error (until the
// file changes again in some other way), and the last good content stays. A
// removed message.txt or logo.txt brings the built-in text back. A frame
// with nothing noticed costs one read that finds nothing.
#pragma once

// Watches the working directory (the data folder). False, after one line on
// standard error, when the kernel refuses; the intro then runs unwatched.
bool DEMOWatchStart();

// Takes in the data files that changed since the last call (DEMOFrame calls
// it once per frame; nothing when no folder is watched). It asks for the
// scene to restart (DEMO_RESTART_SCENE) when anything was replaced and no
// other run state is pending.
void DEMOWatchCheck();

// Stops watching (DEMOReset calls it); harmless when nothing is watched.
void DEMOWatchStop();
