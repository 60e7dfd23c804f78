using System;
using System.Collections.Generic;
using System.Threading;
using System.Threading.Tasks;

namespace Lmvx
{
    /// <summary>
    /// A counted handle on the process's one session. The first handle whose <see cref="Start"/>
    /// succeeds starts the library's session, later handles share it, and the
    /// <see cref="Dispose"/> of the last started handle ends it with Stop(true), telling the
    /// service; so does the end of the process while a handle is started.
    /// <para>Every Get… and Set… member is one or more round trips to the service: call them off
    /// the UI thread. A getter returns null when it has no value: the session is not connected, or
    /// the exchange failed (a 0 or false is checked against the connection state, because a failed
    /// exchange also reads 0). Setters never report the outcome. A string that cannot fit its slot
    /// throws <see cref="ArgumentException"/> before anything is sent. After <see cref="Dispose"/>
    /// every instance member throws <see cref="ObjectDisposedException"/>.</para>
    /// </summary>
    public sealed class Session : IDisposable
    {
        const uint NotConnectedValue = 0xFFFFFFFF;
        const int NoDisplayMode = -1;

        // The handle count and the library's start and stop, which it decides.
        static readonly object gate = new object();
        static int startedHandles;
        static bool exitHooked;
        bool started;
        volatile bool disposed;

        /// <summary>A handle that has not started the session.</summary>
        /// <exception cref="PlatformNotSupportedException">A Windows process that is neither x64 nor ARM64.</exception>
        public Session() { NativeLibraryLoader.EnsureSupported(); }

        void ThrowIfDisposed()
        {
            if (disposed) throw new ObjectDisposedException(nameof(Session));
        }

        /// <summary>
        /// Joins the process's session, starting the library's when it is not running (never
        /// started, ended through <see cref="Native.Stop"/>, or its last start failed); true when it
        /// runs. Starting blocks while the library looks for the companion application (about six
        /// seconds when there is none): prefer <see cref="StartAsync"/> on a UI thread.
        /// </summary>
        public bool Start() => StartCore(out _);

        bool StartCore(out bool startedHere)
        {
            startedHere = false;
            lock (gate)
            {
                ThrowIfDisposed();
                var state = (ConnectionState)Native.GetLVXStatus();
                bool running = startedHandles > 0 && (state == ConnectionState.Connected || state == ConnectionState.Disconnected);
                if (!running && !Native.Start()) return false;
                if (!started)
                {
                    started = startedHere = true;
                    startedHandles++;
                }
                if (!exitHooked)
                {
                    AppDomain.CurrentDomain.ProcessExit += (sender, e) => EndAtExit();
                    exitHooked = true;
                }
                return true;
            }
        }

        /// <summary>
        /// <see cref="Start"/> on a thread-pool thread. Cancelling ends the wait at once (the task
        /// is cancelled); the library's start, which cannot be interrupted, runs on and is undone
        /// when it succeeds.
        /// </summary>
        public Task<bool> StartAsync(CancellationToken cancellationToken = default)
        {
            ThrowIfDisposed();
            if (cancellationToken.IsCancellationRequested) return Task.FromCanceled<bool>(cancellationToken);
            var result = new TaskCompletionSource<bool>(TaskCreationOptions.RunContinuationsAsynchronously);
            var registration = cancellationToken.Register(() => result.TrySetCanceled(cancellationToken));
            Task.Run(() =>
            {
                bool running, startedHere;
                try { running = StartCore(out startedHere); }
                catch (Exception e) { registration.Dispose(); result.TrySetException(e); return; }
                registration.Dispose();
                if (!result.TrySetResult(running) && startedHere) Release();
            });
            return result.Task;
        }

        void Release()
        {
            lock (gate)
            {
                if (!started) return;
                started = false;
                if (--startedHandles == 0) Native.Stop(true);
            }
        }

        // The service hears of the end even when no handle is disposed.
        static void EndAtExit()
        {
            if (!Monitor.TryEnter(gate, 2000)) return;
            try
            {
                if (startedHandles > 0) Native.Stop(true);
                startedHandles = 0;
            }
            finally { Monitor.Exit(gate); }
        }

        /// <summary>Removes this handle's handlers (waiting for a call of one in progress on another
        /// thread) and leaves the session; the last started handle ends it with Stop(true).</summary>
        public void Dispose()
        {
            if (disposed) return;
            disposed = true;
            Dispatcher.RemoveAll(this);
            Release();
        }

        // ---- Process-wide, not gated ----

        /// <summary>The library's connection state, refreshed from the service unless stopped.</summary>
        public static ConnectionState GetStatus() => (ConnectionState)Native.GetLVXStatus();
        /// <summary>True when the service reports itself ready; false when none answers. Needs no session.</summary>
        public static bool CheckService() => Native.CheckService();
        /// <summary>Whether this machine is a supported platform, decided locally.</summary>
        public static bool IsPlatformSupported() => Native.IsPlatformSupported();
        /// <summary>The service's feature word; <see cref="ServiceFeatures.None"/> also when no service answers. Needs no session.</summary>
        public static ServiceFeatures GetFeatures() => (ServiceFeatures)Native.GetFeatures();
        /// <summary>Switches delivery of one type (or <see cref="EventType.All"/>) on.</summary>
        public static void EnableEvent(EventType type) => Native.EnableEvent((int)type);
        /// <summary>Switches delivery of one type (or <see cref="EventType.All"/>) off.</summary>
        public static void DisableEvent(EventType type) => Native.DisableEvent((int)type);
        /// <summary>How often the service polls category 1 to 5, in milliseconds.</summary>
        public static void EnablePolling(int category, uint intervalMs) => Native.EnablePolling(category, intervalMs);
        /// <summary>Stops the service's polling of category 1 to 5.</summary>
        public static void DisablePolling(int category) => Native.DisablePolling(category);

        // ---- Events ----

        sealed class Subscription
        {
            public Subscription(Session owner, EventHandler<SessionEventArgs> handler, SynchronizationContext? context)
            {
                Owner = owner; Handler = handler; Context = context;
            }
            public readonly Session Owner;
            public readonly EventHandler<SessionEventArgs> Handler;
            public readonly SynchronizationContext? Context;
            // Under the subscription's own lock, held while its handler runs.
            public bool Active = true;
        }

        static class Dispatcher
        {
            // Replaced whole on each change, under the lock; read without it.
            static volatile Subscription[] subscriptions = new Subscription[0];
            static readonly object subscriptionsGate = new object();
            // The one callback the library gets, rooted for the life of the process.
            static readonly Native.LvxEventHandler callback = Deliver;

            public static void Add(Subscription subscription)
            {
                lock (subscriptionsGate)
                {
                    var list = new List<Subscription>(subscriptions) { subscription };
                    subscriptions = list.ToArray();
                }
                Native.SetEventHandler(callback);
            }

            // Takes out the last match (or every one of the owner's) and waits out a call in progress.
            public static void Remove(Session owner, EventHandler<SessionEventArgs>? handler)
            {
                var removed = new List<Subscription>();
                lock (subscriptionsGate)
                {
                    var list = new List<Subscription>(subscriptions);
                    for (int i = list.Count - 1; i >= 0; i--)
                    {
                        if (list[i].Owner != owner || (handler != null && list[i].Handler != handler)) continue;
                        removed.Add(list[i]);
                        list.RemoveAt(i);
                        if (handler != null) break;
                    }
                    subscriptions = list.ToArray();
                }
                foreach (var subscription in removed)
                    lock (subscription) subscription.Active = false;
            }

            public static void RemoveAll(Session owner) => Remove(owner, null);

            // On the notification thread; nothing may unwind into the library.
            static void Deliver(int type)
            {
                var eventType = (EventType)type;
                foreach (var subscription in subscriptions)
                {
                    if (subscription.Context == null)
                    {
                        Invoke(subscription, eventType);
                        continue;
                    }
                    try { subscription.Context.Post(state => Invoke(subscription, eventType), null); }
                    catch (Exception e) { Report(subscription.Owner, eventType, e); }
                }
            }

            static void Invoke(Subscription subscription, EventType type)
            {
                try
                {
                    lock (subscription)
                    {
                        if (subscription.Active) subscription.Handler(subscription.Owner, new SessionEventArgs(type));
                    }
                }
                catch (Exception e) { Report(subscription.Owner, type, e); }
            }

            static void Report(Session owner, EventType type, Exception exception)
            {
                try { owner.HandlerFailed?.Invoke(owner, new SessionErrorEventArgs(type, exception)); }
                catch (Exception) { /* an error handler that throws is dropped: nothing here may end the process */ }
            }
        }

        /// <summary>
        /// Whether handlers added from now on run on the <see cref="SynchronizationContext"/> that is
        /// current when they are added (true, the default: a UI thread's handler runs on that UI
        /// thread, posted, never sent), or on the library's notification thread (false, and also
        /// where no context is current). Notification-thread handlers should return quickly: later
        /// events wait behind them.
        /// </summary>
        public bool CaptureSynchronizationContext { get; set; } = true;

        /// <summary>
        /// One event per change the service reports, in order; the sender is this handle. Adding
        /// installs this binding's callback in the library (replacing one set through
        /// <see cref="Native.SetEventHandler"/>). Once a removal has returned the handler is not
        /// called again; a removal from another thread waits for a call of it in progress. A
        /// handler's exception is raised on <see cref="HandlerFailed"/>, never rethrown.
        /// </summary>
        public event EventHandler<SessionEventArgs>? Changed
        {
            add
            {
                if (value == null) return;
                ThrowIfDisposed();
                Dispatcher.Add(new Subscription(this, value, CaptureSynchronizationContext ? SynchronizationContext.Current : null));
            }
            remove { if (value != null) Dispatcher.Remove(this, value); }
        }

        /// <summary>A handler of <see cref="Changed"/> threw, or posting to its context threw; raised on
        /// the thread where that happened. An exception of this event's own handlers is dropped.</summary>
        public event EventHandler<SessionErrorEventArgs>? HandlerFailed;

        // ---- Gated: null when there is no value ----

        static bool Connected() => Native.GetLVXStatus() == (int)ConnectionState.Connected;
        // A failed exchange reads 0 or false, also legal values: they stand only while connected.
        static uint? Value(uint value) => value == NotConnectedValue || (value == 0 && !Connected()) ? (uint?)null : value;
        static bool? Flag(bool value) => value || Connected() ? value : (bool?)null;
        static int? Mode(int value) => value == NoDisplayMode ? (int?)null : value;

        T Gated<T>(Func<T> call) { ThrowIfDisposed(); return call(); }
        void Gated(Action call) { ThrowIfDisposed(); call(); }

        /// <summary>Asks the service to refresh one data type (at most 255).</summary>
        public void UpdateData(int type) => Gated(() => Native.UpdateData(type));
        /// <summary>Luminance (VCP 0x10), read only.</summary>
        public uint? GetBrightness() => Gated(() => Value(Native.GetBrightness()));
        /// <summary>Contrast (VCP 0x12).</summary>
        public uint? GetContrast() => Gated(() => Value(Native.GetContrast()));
        /// <summary>Sets contrast (VCP 0x12).</summary>
        public void SetContrast(uint value) => Gated(() => Native.SetContrast(value));
        /// <summary>Colour preset (VCP 0x14).</summary>
        public uint? GetWhitePoint() => Gated(() => Value(Native.GetWhitePoint()));
        /// <summary>Sets the colour preset (VCP 0x14).</summary>
        public void SetWhitePoint(uint value) => Gated(() => Native.SetWhitePoint(value));
        /// <summary>Red video gain (VCP 0x16).</summary>
        public uint? GetRedGain() => Gated(() => Value(Native.GetRedGain()));
        /// <summary>Sets red video gain (VCP 0x16).</summary>
        public void SetRedGain(uint value) => Gated(() => Native.SetRedGain(value));
        /// <summary>Green video gain (VCP 0x18).</summary>
        public uint? GetGreenGain() => Gated(() => Value(Native.GetGreenGain()));
        /// <summary>Sets green video gain (VCP 0x18).</summary>
        public void SetGreenGain(uint value) => Gated(() => Native.SetGreenGain(value));
        /// <summary>Blue video gain (VCP 0x1A).</summary>
        public uint? GetBlueGain() => Gated(() => Value(Native.GetBlueGain()));
        /// <summary>Sets blue video gain (VCP 0x1A).</summary>
        public void SetBlueGain(uint value) => Gated(() => Native.SetBlueGain(value));
        /// <summary>Input source (VCP 0x60).</summary>
        public uint? GetInputSource() => Gated(() => Value(Native.GetInputSource()));
        /// <summary>Sets the input source (VCP 0x60).</summary>
        public void SetInputSource(uint value) => Gated(() => Native.SetInputSource(value));
        /// <summary>The colour presets the monitor accepts, in its order; empty when not connected or
        /// when the monitor marks the control unsupported.</summary>
        public uint[] GetSupportedWhitePoints() => Gated(() => Supported(Native.GetSupportedWhitePoints));
        /// <summary>The input sources the monitor accepts, as <see cref="GetSupportedWhitePoints"/>.</summary>
        public uint[] GetSupportedInputSources() => Gated(() => Supported(Native.GetSupportedInputSources));

        // The library returns how many values the monitor listed even when it wrote none (an
        // unsupported control). MCCS values are 16-bit, so a word never written stays 0xFFFFFFFF.
        static uint[] Supported(Func<uint[], ulong, ulong> list)
        {
            var buffer = new uint[Native.MaxSupportedValues];
            for (int i = 0; i < buffer.Length; i++) buffer[i] = NotConnectedValue;
            ulong count = list(buffer, (ulong)buffer.Length);
            return Items(buffer[0] == NotConnectedValue ? 0 : count, buffer.Length, i => buffer[i]);
        }

        // The first `count` items, never more than the buffer holds.
        static T[] Items<T>(ulong count, int capacity, Func<int, T> item)
        {
            var items = new T[Math.Min(count, (ulong)capacity)];
            for (int i = 0; i < items.Length; i++) items[i] = item(i);
            return items;
        }

        /// <summary>The supported display-mode identifiers; empty when not connected.</summary>
        public int[] GetSupportedDisplayModes() => Gated(() =>
        {
            var buffer = new int[Native.MaxSupportedValues];
            return Items(Native.GetSupportedDisplayModes(buffer, (ulong)buffer.Length), buffer.Length, i => buffer[i]);
        });

        /// <summary>The display mode, as an identifier.</summary>
        public int? GetDisplayMode() => Gated(() => Mode(Native.GetCurrentDisplayMode()));
        /// <summary>Sets the display mode by identifier.</summary>
        public void SetDisplayMode(int displayMode) => Gated(() => Native.SetDisplayMode(displayMode));
        /// <summary>Asks the monitor to restore its factory defaults where this machine allows it.</summary>
        public void FactoryReset() => Gated(Native.FactoryReset);

        // ---- Automatic colour ----

        /// <summary>Whether the service switches the colour mode by application.</summary>
        public bool? IsAutoColorEnabled() => Gated(() => Flag(Native.IsAutoColorEnabled()));
        /// <summary>Switches automatic colour on or off.</summary>
        public void SetAutoColorEnabled(bool enable) => Gated(() => Native.EnableAutoColor(enable));
        /// <summary>Adds an application: <paramref name="appName"/> up to 99 UTF-16 units, <paramref name="appPath"/> up to 299.</summary>
        /// <exception cref="ArgumentException">A string is null or too long for its slot.</exception>
        public void AddAutoColorApp(string appName, string appPath) => Gated(() =>
            Native.AddAutoColorApp(Fit(appName, Native.NameUnits, nameof(appName)), Fit(appPath, Native.AppPathUnits, nameof(appPath))));
        /// <summary>Deletes an application by name (up to 99 UTF-16 units).</summary>
        /// <exception cref="ArgumentException">The name is null or too long.</exception>
        public void DeleteAutoColorApp(string appName) => Gated(() => Native.DeleteAutoColorApp(Fit(appName, Native.NameUnits, nameof(appName))));
        /// <summary>Sets an application's colour mode; both names up to 99 UTF-16 units.</summary>
        /// <exception cref="ArgumentException">A name is null or too long.</exception>
        public void SetAutoColorAppMode(string appName, string modeName) => Gated(() =>
            Native.SetAutoColorAppMode(Fit(appName, Native.NameUnits, nameof(appName)), Fit(modeName, Native.NameUnits, nameof(modeName))));

        static string Fit(string text, int units, string name)
        {
            if (text == null) throw new ArgumentNullException(name);
            if (text.Length >= units)
                throw new ArgumentException(string.Format("{0} UTF-16 units do not fit a slot of {1}", text.Length, units), name);
            return text;
        }

        /// <summary>The application table: application name and colour-mode name; empty when not
        /// connected or when the request fails.</summary>
        public KeyValuePair<string, string>[] GetAutoColorApps() => Gated(() =>
        {
            var table = new Native.AutoColorTable();
            uint count = Native.GetAutoColorTable(ref table);
            var filled = table;
            return Items(count, Native.AutoColorMaxApps, i => new KeyValuePair<string, string>(filled.AppName(i), filled.ModeName(i)));
        });

        /// <summary>The colour-mode names the service offers (the first 20); empty when not connected.</summary>
        public string[] GetAutoColorModes() => Gated(() =>
        {
            var list = new Native.AutoColorModeList();
            Native.getSupportedAutoColorMode(ref list);
            return Items(list.count, Native.AutoColorMaxModes, list.ModeName);
        });

        // ---- Desktop partition ----

        /// <summary>Whether desktop partition is on.</summary>
        public bool? IsDesktopPartitionEnabled() => Gated(() => Flag(Native.IsDesktopPartitionEnabled()));
        /// <summary>Switches desktop partition on or off.</summary>
        public void SetDesktopPartitionEnabled(bool enable) => Gated(() => Native.EnableDesktopPartition(enable));
        /// <summary>The screens' names; empty when not connected or when the request fails.</summary>
        public string[] GetScreens() => Gated(() =>
        {
            var list = new Native.DPScreenList();
            return Items(Native.GetDPSupportedScreens(ref list), Native.DPMaxScreens, list.ScreenName);
        });
        /// <summary>Sets a screen's layout; both values are the service's.</summary>
        public void SetDesktopPartition(uint screen, uint partition) => Gated(() => Native.SetDesktopPartition(screen, partition));
        /// <summary>A screen's layout.</summary>
        public uint? GetDesktopPartition(uint screen) => Gated(() => Value(Native.GetDesktopPartition(screen)));
        /// <summary>Asks the service to open the layout customizer.</summary>
        public void LaunchDesktopPartitionCustomizer() => Gated(Native.LuanchDesktopPartitionCustomizer);

        // ---- Schedule and power savings ----

        /// <summary>Whether the display-mode schedule is on.</summary>
        public bool? IsScheduleEnabled() => Gated(() => Flag(Native.GetSchedule()));
        /// <summary>Switches the display-mode schedule on or off.</summary>
        public void SetScheduleEnabled(bool enable) => Gated(() => Native.EnableSchedule(enable));
        /// <summary>Sets the schedule's four time fields, passed through unchanged.</summary>
        public void SetScheduleTimes(uint time1, uint time2, uint time3, uint time4) => Gated(() => Native.SetScheduleTime(time1, time2, time3, time4));
        /// <summary>The schedule's four time fields.</summary>
        public uint[]? GetScheduleTimes() => Gated(() =>
            Native.GetScheduleTime(out uint t1, out uint t2, out uint t3, out uint t4) ? new[] { t1, t2, t3, t4 } : null);
        /// <summary>The schedule's display mode.</summary>
        public int? GetScheduleMode() => Gated(() => Mode(Native.GetShedulerMode()));
        /// <summary>Sets the schedule's display mode by identifier.</summary>
        public void SetScheduleMode(int displayMode) => Gated(() => Native.SetShedulerMode(displayMode));
        /// <summary>Whether power savings are on.</summary>
        public bool? GetPowerSavings() => Gated(() => Flag(Native.GetPowerSavings()));
        /// <summary>Switches power savings on or off.</summary>
        public void SetPowerSavings(bool on) => Gated(() => Native.SetPowerSavings(on));
        /// <summary>Whether the display is in HDR operation.</summary>
        public bool? IsHdrActive() => Gated(() => Flag(Native.GetHDRStatus()));
    }
}
