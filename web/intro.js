// The intro's side of the page, built into each intro's script ahead of the
// program: the pacing of presentations, the keyboard, and a test hook.
//
// Pacing. After each presentation the program waits for Module.afterPresent:
// the next animation frame (requestAnimationFrame), so the intro runs at the
// display's refresh rate, or with ?fps=N the next of a row of deadlines N a
// second apart (a new row starts when it falls more than one frame behind).
// The quit fade goes at no fewer than 256 presentations a second, so quitting
// never waits more than about a second; its frames stay the same.
//
// Keys. The page's key events reach the program as SDL 1.2 key symbols
// (Module.keySym), through the same event queue that native key events use;
// only the keyboard takes the low byte. Repeats of a held key are dropped, as
// SDL 1.2 sends none unless asked.
//
// Sound. Browsers let a page make sound only after a gesture, so the first
// key press or click starts the soundtrack: an AudioContext at 48 kHz whose
// ScriptProcessorNode pulls the song from the program (_WebAudioRender) as it
// plays. Module.setSound(false) suspends it and true goes on (or starts it,
// from a gesture); Module.onSound(state) tells the page the state: 'waiting'
// (for a gesture), 'on', 'off' or 'none' (no Web Audio, or it refused: the
// intro goes on silent). Module.soundState holds it.
//
// Start and end. main starts once the data file is loaded; when it has
// returned (after the fade) Module.ended becomes true and the page's
// Module.onEnd(status) is called.
//
// Test hook, inert unless asked for. ?stopAt=N pauses the intro right after
// presentation N (counted from 0) and before its key poll; Module.stopped is
// then N (null while running). Module.stopAt = M; Module.resume() goes on to
// the next stop. Module.presented counts presentations and Module.canvas is
// the canvas the intro draws on; Module.firstFrameAt is the time of the first
// presentation in milliseconds since navigation. Module.audioRender(k) takes k
// sample frames of the soundtrack at once (as the audio node does);
// Module.audioFrames() counts the frames taken so far and Module.audioHash()
// is the FNV-1a 64 hash of their little-endian 16-bit samples, as 16 hex
// digits. Module.audioFill(event) is what the audio node runs: it fills
// event.outputBuffer's two channels with the next frames.
(function () {
  var params = new URLSearchParams(location.search);
  function whole(name, min, max) {
    var text = params.get(name);
    if (text === null || !/^[0-9]+$/.test(text)) return undefined;
    var value = Number(text);
    return value >= min && value <= max ? value : undefined;
  }
  var fps = whole('fps', 1, 1000);

  Module.stopAt = whole('stopAt', 0, 2147483647);
  Module.stopped = null;
  Module.presented = 0;
  Module.firstFrameAt = null;
  Module.doNotCaptureKeyboard = true;  // keys come through keySym below
  Module.ended = false;
  var running = false;  // between the start of main and its end

  // main goes asynchronous at its first presentation, so it is called as an
  // asynchronous function: its promise settles when main returns.
  Module.onRuntimeInitialized = function () {
    // Every presentation rewrites the screen from the program's own copy, so
    // the emulation need not read the canvas back at each lock.
    if (typeof SDL !== 'undefined') SDL.defaults.discardOnLock = true;
    running = true;
    Module.ccall('main', 'number', [], [], { async: true }).then(function (status) {
      running = false;
      Module.ended = true;
      if (Module.onEnd) Module.onEnd(status);
    });
  };

  var release = null;  // resumes a stopped intro
  Module.resume = function () {
    if (!release) return;
    var go = release;
    release = null;
    Module.stopped = null;
    go();
  };

  function animationFrame() {
    return new Promise(function (resolve) { requestAnimationFrame(function () { resolve(); }); });
  }
  var rowStart = null, rowCount = 0;
  function deadline() {
    var period = 1000 / fps, now = performance.now();
    if (rowStart === null || now > rowStart + (rowCount + 1) * period) {
      rowStart = now;
      rowCount = 0;
    }
    rowCount += 1;
    var wait = rowStart + rowCount * period - now;
    return new Promise(function (resolve) { setTimeout(resolve, wait > 0 ? wait : 0); });
  }

  // The fade's schedule: presentation k of the fade is due k / 256 s after
  // its first; one that is late goes at once.
  var fadeRate = 256, fadeStart = null, fadeCount = 0;
  function fadeStep() {
    var now = performance.now();
    if (fadeStart === null) fadeStart = now;
    fadeCount += 1;
    var wait = fadeStart + fadeCount * 1000 / fadeRate - now;
    return new Promise(function (resolve) { setTimeout(resolve, wait > 0 ? wait : 0); });
  }

  Module.afterPresent = async function (n, fading) {
    Module.presented = n + 1;
    if (n === 0) Module.firstFrameAt = performance.now();
    if (Module.onPresent) Module.onPresent(n);
    if (Module.stopAt === n) {
      Module.stopped = n;
      await new Promise(function (resolve) { release = resolve; });
      rowStart = null;
      fadeStart = null;
      fadeCount = 0;
    }
    if (fading && !(fps >= fadeRate)) {
      await fadeStep();
      return;
    }
    await (fps ? deadline() : animationFrame());
  };

  // The soundtrack.
  var audio = null, audioNode = null, soundWanted = true;
  Module.soundState = 'waiting';
  function soundState(state) {
    Module.soundState = state;
    if (Module.onSound) Module.onSound(state);
  }
  // Renders frames (at most 16384) sample frames and returns them as a view
  // of the module's memory (valid until the next call).
  function takeAudio(frames) {
    var at = Module._WebAudioRender(frames) >> 1;
    return HEAP16.subarray(at, at + 2 * frames);
  }
  Module.audioRender = function (frames) {
    for (var left = frames; left > 0; left -= 16384) takeAudio(Math.min(left, 16384));
  };
  Module.audioFrames = function () { return Module._WebAudioFrames(); };
  Module.audioHash = function () {
    function hex(part) { return (Module._WebAudioHash(part) >>> 0).toString(16).padStart(8, '0'); }
    return hex(1) + hex(0);
  };
  function fill(event) {
    var left = event.outputBuffer.getChannelData(0);
    var right = event.outputBuffer.getChannelData(1);
    var samples = takeAudio(left.length);
    for (var i = 0; i < left.length; i++) {
      left[i] = samples[2 * i] / 32768;
      right[i] = samples[2 * i + 1] / 32768;
    }
  }
  Module.audioFill = fill;
  function startSound() {
    if (audio || Module.soundState === 'none') return;
    try {
      var Context = window.AudioContext || window.webkitAudioContext;
      audio = new Context({ sampleRate: 48000 });
      if (audio.sampleRate !== 48000) throw new Error('the audio runs at ' + audio.sampleRate + ' Hz');
      audioNode = audio.createScriptProcessor(4096, 0, 2);
      audioNode.onaudioprocess = fill;
      audioNode.connect(audio.destination);
      var started = audio.resume();
      soundState('on');
      if (started && started.catch) started.catch(function () { soundOff(); soundState('none'); });
    } catch (error) {
      console.warn('no sound: ' + error);
      soundOff();
      soundState('none');
    }
  }
  function soundOff() {
    if (audioNode) audioNode.disconnect();
    if (audio) audio.close().catch(function () {});
    audio = audioNode = null;
  }
  Module.setSound = function (on) {
    soundWanted = on;
    if (Module.soundState === 'none') return;
    if (!on) {
      if (audio) audio.suspend().catch(function () {});
      soundState('off');
    } else if (audio) {
      audio.resume().catch(function () {});
      soundState('on');
    } else {
      startSound();
    }
  };
  function onGesture() {
    if (soundWanted && !audio) startSound();
  }
  window.addEventListener('keydown', onGesture);
  window.addEventListener('click', onGesture);

  // SDL 1.2's key symbols for the keys that are not a character.
  var named = {
    Backspace: 8, Tab: 9, Enter: 13, Pause: 19, Escape: 27, ' ': 32, Space: 32,
    Delete: 127, NumpadDecimal: 266, NumpadDivide: 267, NumpadMultiply: 268,
    NumpadSubtract: 269, NumpadAdd: 270, NumpadEnter: 271, NumpadEqual: 272,
    ArrowUp: 273, ArrowDown: 274, ArrowRight: 275, ArrowLeft: 276, Insert: 277,
    Home: 278, End: 279, PageUp: 280, PageDown: 281, NumLock: 300,
    CapsLock: 301, ScrollLock: 302, ShiftRight: 303, ShiftLeft: 304,
    ControlRight: 305, ControlLeft: 306, AltRight: 307, AltLeft: 308,
    MetaRight: 309, MetaLeft: 310, OSLeft: 311, OSRight: 312, AltGraph: 313,
    Help: 315, PrintScreen: 316, ContextMenu: 319
  };
  // The SDL 1.2 key symbol of a browser key event, 0 for a key it has none for.
  Module.keySym = function (event) {
    var code = event.code || '', key = event.key || '', m;
    if ((m = /^F([1-9]|1[0-5])$/.exec(code || key))) return 281 + Number(m[1]);
    if ((m = /^Numpad([0-9])$/.exec(code))) return 256 + Number(m[1]);
    if ((m = /^Digit([0-9])$/.exec(code))) return 48 + Number(m[1]);
    if (named[code] !== undefined) return named[code];
    if (named[key] !== undefined) return named[key];
    // A character key: SDL 1.2 names it by the unshifted character.
    if (key.length === 1 && key.charCodeAt(0) < 128) return key.toLowerCase().charCodeAt(0);
    return 0;
  };

  // Keys whose symbol's low byte the intro acts on (Escape, q, Q, space, so F2
  // and F7 too) do only that, not the browser's own action.
  var acted = { 27: true, 32: true, 81: true, 113: true };
  function onKey(event) {
    if (event.repeat || !running) return;
    var sym = Module.keySym(event);
    if (!sym) return;
    if (acted[sym & 0xFF] && !event.ctrlKey && !event.altKey && !event.metaKey)
      event.preventDefault();
    Module._WebKey(sym, event.type === 'keydown' ? 1 : 0);
  }
  window.addEventListener('keydown', onKey);
  window.addEventListener('keyup', onKey);
})();
