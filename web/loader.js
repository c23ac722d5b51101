// loader.js - the page's side of the browser build, run before the game.
//
// It takes the command line from the page address (?--seed=7&--script=...),
// fetches the files that options name by address, lays out the folders the
// game expects of an installed copy (program in /usr/games, read-only pack in
// /usr/share/games/zorvek-plon, the player's folder under $HOME), keeps the
// player's folder in IndexedDB (loaded before the game starts, saved after
// every file the game writes), and offers each new screenshot as a download.
var ZP = (Module['ZP'] = Module['ZP'] || {});
ZP.home = '/home/web_user/.local/share/zorvek-plon';
ZP.fetchedOptions = ['--replay', '--script'];

// The command line: every "--name=value" of the address, in order.
ZP.argumentsOf = function (search) {
  var args = [];
  new URLSearchParams(search).forEach(function (value, name) {
    if (name.indexOf('--') !== 0) return;
    args.push(name);
    if (value !== '') args.push(value);
  });
  return args;
};

// True for an option value the page must fetch first.
ZP.isAddress = function (value) {
  return value.charAt(0) === '/' || value.indexOf('http') === 0;
};

Module['arguments'] = ZP.argumentsOf(location.search);
// ?keep-webgl: WebGL draws even on a software renderer (for the tests).
ZP.keepWebGl = new URLSearchParams(location.search).has('keep-webgl');

// What the game's sound reached in the browser's WebAudio, for the tests:
// the state of the context (the last one seen once the game has closed it)
// and how many times a playing source got buffers scheduled on it.
ZP.scheduled = 0;
ZP.audioState = 'none';
ZP.sound = function () {
  var context = typeof AL !== 'undefined' && AL.currentCtx;
  if (context) ZP.audioState = context.audioCtx.state;
  return { state: ZP.audioState, scheduled: ZP.scheduled };
};
ZP.countScheduling = function () {
  if (typeof AL === 'undefined') return;
  var schedule = AL.scheduleSourceAudio;
  AL.scheduleSourceAudio = function (source) {
    var before = source.audioQueue.length;
    var result = schedule.apply(AL, arguments);
    if (source.audioQueue.length > before) {
      ZP.scheduled++;
      ZP.sound();
    }
    return result;
  };
};

// Saves the player's folder to IndexedDB; a save asked for while one runs
// follows it.
// A save starts once the game hands control back, so that a file written
// and renamed in one go is saved once under its final name; a save that
// fails (a file went while it was read) is tried again.
ZP.saving = false;
ZP.saveAgain = false;
ZP.save = function () {
  if (ZP.saving) {
    ZP.saveAgain = true;
    return;
  }
  ZP.saving = true;
  setTimeout(function () {
    FS.syncfs(false, function (err) {
      ZP.saving = false;
      ZP.failures = err ? (ZP.failures || 0) + 1 : 0;
      if (err && ZP.failures > 3) console.error('zorvek-plon: saving the player files failed: ' + err);
      if (ZP.saveAgain || (err && ZP.failures <= 3)) {
        ZP.saveAgain = false;
        ZP.save();
      }
    });
  }, 0);
};

// True when path lies in the player's folder.
ZP.inHome = function (path) {
  return typeof path === 'string' && path.indexOf(ZP.home + '/') === 0;
};

// Hands a finished picture to the browser as a download.
ZP.offerDownload = function (path) {
  var data = FS.readFile(path);
  var link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([data], { type: 'image/png' }));
  link.download = path.substring(path.lastIndexOf('/') + 1);
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(function () { URL.revokeObjectURL(link.href); }, 10000);
};

// Wraps the file system's writes so the player's folder is saved after each.
ZP.watchWrites = function () {
  var close = FS.close, rename = FS.rename, unlink = FS.unlink, rmdir = FS.rmdir;
  FS.close = function (stream) {
    var wrote = (stream.flags & 3) !== 0 && ZP.inHome(stream.path);
    var result = close.apply(FS, arguments);
    if (wrote) ZP.save();
    return result;
  };
  FS.rename = function (from, to) {
    var result = rename.apply(FS, arguments);
    if (ZP.inHome(to)) {
      if (/\.png$/i.test(to)) ZP.offerDownload(to);
      ZP.save();
    }
    return result;
  };
  FS.unlink = function (path) {
    var result = unlink.apply(FS, arguments);
    if (ZP.inHome(path)) ZP.save();
    return result;
  };
  FS.rmdir = function (path) {
    var result = rmdir.apply(FS, arguments);
    if (ZP.inHome(path)) ZP.save();
    return result;
  };
};

// The links the game makes to the read-only pack are made anew at every
// start: IndexedDB keeps only the player's real files and folders.
ZP.keepOnlyRealFiles = function () {
  IDBFS.getLocalSet = function (mount, callback) {
    var entries = {};
    var check = [mount.mountpoint];
    while (check.length) {
      var path = check.pop();
      var stat;
      try {
        stat = FS.lstat(path);
      } catch (e) {
        return callback(e);
      }
      if (FS.isLink(stat.mode)) continue;
      if (FS.isDir(stat.mode)) {
        FS.readdir(path).forEach(function (name) {
          if (name !== '.' && name !== '..') check.push(PATH.join2(path, name));
        });
      }
      if (path !== mount.mountpoint) entries[path] = { timestamp: stat.mtime };
    }
    callback(null, { type: 'local', entries: entries });
  };
};

// Fetches every option value given as an address into /tmp/fetched.
ZP.fetchOptions = function () {
  var args = Module['arguments'];
  FS.mkdirTree('/tmp/fetched');
  args.forEach(function (value, i) {
    if (i === 0 || ZP.fetchedOptions.indexOf(args[i - 1]) < 0 || !ZP.isAddress(value)) return;
    var local = '/tmp/fetched/' + i + '-' + (value.split('?')[0].split('/').pop() || 'file');
    addRunDependency('fetch ' + value);
    fetch(value)
      .then(function (reply) {
        if (!reply.ok) throw new Error('HTTP ' + reply.status);
        return reply.arrayBuffer();
      })
      .then(function (bytes) {
        FS.writeFile(local, new Uint8Array(bytes));
        args[i] = local;
        removeRunDependency('fetch ' + value);
      })
      .catch(function (err) {
        ZP.stop('cannot fetch ' + value + ' for ' + args[i - 1] + ': ' + err.message);
      });
  });
};

// A canvas keeps the first kind of context it was given (WebGL or 2D): each
// window of the game after the first gets a fresh copy of the page's canvas
// in the old one's place. The page hears of it through canvasChanged.
ZP.freshCanvas = function () {
  var old = Module['canvas'];
  if (!old.zpUsed) {
    old.zpUsed = true;
    return;
  }
  var fresh = old.cloneNode(false);
  fresh.zpUsed = true;
  old.parentNode.replaceChild(fresh, old);
  Module['canvas'] = fresh;
  if (Module['canvasChanged']) Module['canvasChanged'](fresh);
};

// Shows why the game cannot start, and keeps it from starting.
ZP.stop = function (why) {
  console.error('zorvek-plon: ' + why);
  if (Module['setStatus']) Module['setStatus'](why);
  ZP.failed = why;
};

Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  FS.mkdirTree('/usr/games');
  FS.symlink('/usr/games/zorvek-plon', '/proc/self/exe');
  FS.mkdirTree(ZP.home);
  ZP.keepOnlyRealFiles();
  ZP.countScheduling();
  FS.mount(IDBFS, {}, ZP.home);
  addRunDependency('player files');
  FS.syncfs(true, function (err) {
    if (err) console.error('zorvek-plon: the saved player files cannot be read: ' + err);
    ZP.watchWrites();
    removeRunDependency('player files');
  });
  ZP.fetchOptions();
});

// A fault in the game ends it: the page says so.
Module['onAbort'] = function (what) {
  ZP.stop('the game stopped: ' + what);
};

// The browser has no exit status: the page says the game has closed.
Module['onExit'] = function (status) {
  ZP.exitStatus = status;
  ZP.save();
  if (Module['gameClosed']) Module['gameClosed'](status);
};
