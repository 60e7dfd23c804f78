using System;
using System.Collections.Generic;
using System.Runtime.ExceptionServices;
using System.Threading;

namespace Lmvx
{
    /// <summary>Values of <see cref="Session.Status"/>.</summary>
    public enum ConnectionState
    {
        /// <summary>A session is starting or has lost the service.</summary>
        Disconnected = 0,
        /// <summary>Gated members work.</summary>
        Connected = 1,
        /// <summary>At load and after the session's end.</summary>
        Stopped = 2,
        /// <summary>The last start found no companion application.</summary>
        StartFailed = 3,
    }

    /// <summary>Event types; a subscriber reads the new value with the matching member.</summary>
    public enum EventType
    {
        /// <summary><see cref="Session.Brightness"/> changed.</summary>
        Brightness = 0x10,
        /// <summary><see cref="Session.Contrast"/> changed.</summary>
        Contrast = 0x12,
        /// <summary><see cref="Session.WhitePoint"/> changed.</summary>
        WhitePoint = 0x14,
        /// <summary><see cref="Session.RedGain"/> changed.</summary>
        RedGain = 0x16,
        /// <summary><see cref="Session.GreenGain"/> changed.</summary>
        GreenGain = 0x18,
        /// <summary><see cref="Session.BlueGain"/> changed.</summary>
        BlueGain = 0x1A,
        /// <summary><see cref="Session.InputSource"/> changed.</summary>
        InputSource = 0x60,
        /// <summary><see cref="Session.DisplayMode"/> changed.</summary>
        DisplayMode = 0xDC,
        /// <summary>Service notification 0x100.</summary>
        Service100 = 0x100,
        /// <summary>Service notification 0x101.</summary>
        Service101 = 0x101,
        /// <summary>The state has been refreshed: see <see cref="Session.Status"/>.</summary>
        ServiceStatusChanged = 0x102,
        /// <summary>Service notification 0x103.</summary>
        Service103 = 0x103,
        /// <summary>Service notification 0x104.</summary>
        Service104 = 0x104,
        /// <summary>Off until <see cref="Session.EnableEvent"/>(Service105).</summary>
        Service105 = 0x105,
        /// <summary>Every type: argument of EnableEvent/DisableEvent only.</summary>
        All = 0xFFFF,
    }

    /// <summary>
    /// A counted handle on the process's one session. The library runs one session per process:
    /// the first handle whose <see cref="Start"/> succeeds starts it, further handles share it,
    /// and the <see cref="Dispose"/> of the last started handle ends it with Stop(true), telling
    /// the service. Dispose every handle you start.
    /// <para>Members call the library as they are and keep its failure values: value getters
    /// return <see cref="NotConnected"/> (0xFFFFFFFF) when not connected and 0 when the request
    /// fails; boolean queries return false; lists come back empty; setters never report the
    /// outcome. A string that cannot fit its slot, which the library would refuse, throws
    /// <see cref="ArgumentException"/> instead.</para>
    /// </summary>
    public sealed class Session : IDisposable
    {
        /// <summary>What value getters and <see cref="GetDesktopPartition"/> return when not connected.</summary>
        public const uint NotConnected = 0xFFFFFFFF;
        /// <summary>What <see cref="DisplayMode"/> returns when not connected, and <see cref="ScheduleMode"/> also on failure.</summary>
        public const int NoDisplayMode = -1;

        static readonly object gate = new object();
        static int startedHandles;
        bool started, disposed;

        /// <summary>Joins the process's session, starting it when no other handle has; true when it runs.
        /// Starting may wait about six seconds for the companion application.</summary>
        public bool Start()
        {
            lock (gate)
            {
                if (disposed) throw new ObjectDisposedException("Session");
                if (started) return true;
                if (startedHandles == 0 && !Native.Start()) return false;
                startedHandles++;
                started = true;
                return true;
            }
        }

        /// <summary>Leaves the session; the last started handle ends it with Stop(true).</summary>
        public void Dispose()
        {
            lock (gate)
            {
                disposed = true;
                if (!started) return;
                started = false;
                if (--startedHandles == 0) Native.Stop(true);
            }
        }

        // ---- Process-wide, not gated ----

        /// <summary>The connection state, refreshed from the service unless stopped.</summary>
        public static ConnectionState Status => (ConnectionState)Native.GetLVXStatus();
        /// <summary>True when the service reports itself ready; false when none answers. Needs no session.</summary>
        public static bool ServiceReady => Native.CheckService();
        /// <summary>Whether this machine is a supported platform, decided locally.</summary>
        public static bool IsPlatformSupported => Native.IsPlatformSupported();
        /// <summary>The service's feature word; 0 when no service answers. Needs no session.</summary>
        public static uint Features => Native.GetFeatures();
        /// <summary>Switches delivery of one type (or <see cref="EventType.All"/>) on.</summary>
        public static void EnableEvent(EventType type) => Native.EnableEvent((int)type);
        /// <summary>Switches delivery of one type (or <see cref="EventType.All"/>) off.</summary>
        public static void DisableEvent(EventType type) => Native.DisableEvent((int)type);
        /// <summary>How often the service polls category 1 to 5, in milliseconds.</summary>
        public static void EnablePolling(int category, uint intervalMs) => Native.EnablePolling(category, intervalMs);
        /// <summary>Stops the service's polling of category 1 to 5.</summary>
        public static void DisablePolling(int category) => Native.DisablePolling(category);

        // ---- Events ----

        sealed class Subscriber
        {
            public Action<EventType> Handler;
            public SynchronizationContext Context;
        }

        // The subscribers, replaced whole on each change, and the delivery to them.
        sealed class Dispatcher
        {
            public volatile Subscriber[] Subscribers = new Subscriber[0];

            public void Deliver(int type)
            {
                var eventType = (EventType)type;
                foreach (var subscriber in Subscribers)
                {
                    try
                    {
                        if (subscriber.Context == null) subscriber.Handler(eventType);
                        else subscriber.Context.Post(state => subscriber.Handler(eventType), null);
                    }
                    catch (Exception e)
                    {
                        var fault = ExceptionDispatchInfo.Capture(e);
                        ThreadPool.QueueUserWorkItem(state => fault.Throw());
                    }
                }
            }
        }

        // The one callback the library gets, held for the life of the process so that it can
        // never be collected while the library may call it.
        static readonly Dispatcher dispatcher = new Dispatcher();
        // Not the handles' lock: a handler may subscribe while a Start waits for the service.
        static readonly object subscribersGate = new object();
        static readonly Native.LvxEventHandler callback = dispatcher.Deliver;

        /// <summary>
        /// Raised on the library's notification thread, one event at a time, in order; handlers
        /// should return quickly. Subscribing installs this binding's handler in the library
        /// (replacing one set through <see cref="Native.SetEventHandler"/>). An exception a
        /// handler throws never enters the library: it is rethrown on a thread-pool thread.
        /// </summary>
        public static event Action<EventType> Changed
        {
            add { Subscribe(value, null); }
            remove { Unsubscribe(value); }
        }

        /// <summary>Subscribes <paramref name="handler"/>; with a <paramref name="context"/> (a UI
        /// thread's) each event is posted to it, never sent, so a context that is tearing down
        /// cannot hold up the notification thread.</summary>
        public static void Subscribe(Action<EventType> handler, SynchronizationContext context)
        {
            if (handler == null) throw new ArgumentNullException("handler");
            lock (subscribersGate)
            {
                var list = new List<Subscriber>(dispatcher.Subscribers);
                list.Add(new Subscriber { Handler = handler, Context = context });
                dispatcher.Subscribers = list.ToArray();
            }
            // Outside the lock, which guards the list alone.
            Native.SetEventHandler(callback);
        }

        /// <summary>Removes the last subscription of <paramref name="handler"/>.</summary>
        public static void Unsubscribe(Action<EventType> handler)
        {
            lock (subscribersGate)
            {
                var list = new List<Subscriber>(dispatcher.Subscribers);
                int index = list.FindLastIndex(s => s.Handler == handler);
                if (index >= 0) list.RemoveAt(index);
                dispatcher.Subscribers = list.ToArray();
            }
        }

        // ---- Gated: the library's failure values when not connected ----

        /// <summary>Asks the service to refresh one data type (at most 255).</summary>
        public void UpdateData(int type) => Native.UpdateData(type);
        /// <summary>Luminance (VCP 0x10), read only.</summary>
        public uint Brightness => Native.GetBrightness();
        /// <summary>Contrast (VCP 0x12).</summary>
        public uint Contrast { get => Native.GetContrast(); set => Native.SetContrast(value); }
        /// <summary>Colour preset (VCP 0x14).</summary>
        public uint WhitePoint { get => Native.GetWhitePoint(); set => Native.SetWhitePoint(value); }
        /// <summary>Red video gain (VCP 0x16).</summary>
        public uint RedGain { get => Native.GetRedGain(); set => Native.SetRedGain(value); }
        /// <summary>Green video gain (VCP 0x18).</summary>
        public uint GreenGain { get => Native.GetGreenGain(); set => Native.SetGreenGain(value); }
        /// <summary>Blue video gain (VCP 0x1A).</summary>
        public uint BlueGain { get => Native.GetBlueGain(); set => Native.SetBlueGain(value); }
        /// <summary>Input source (VCP 0x60).</summary>
        public uint InputSource { get => Native.GetInputSource(); set => Native.SetInputSource(value); }
        /// <summary>The colour presets the monitor accepts, in its order; empty when not connected or
        /// when the monitor marks the control unsupported.</summary>
        public uint[] SupportedWhitePoints => Supported(Native.GetSupportedWhitePoints);
        /// <summary>The input sources the monitor accepts, as <see cref="SupportedWhitePoints"/>.</summary>
        public uint[] SupportedInputSources => Supported(Native.GetSupportedInputSources);

        // The library returns how many values the monitor listed even when it wrote none (an
        // unsupported control). MCCS values are 16-bit, so a word never written stays 0xFFFFFFFF.
        static uint[] Supported(Func<uint[], ulong, ulong> list)
        {
            var buffer = new uint[Native.MaxSupportedValues];
            for (int i = 0; i < buffer.Length; i++) buffer[i] = 0xFFFFFFFF;
            ulong count = list(buffer, (ulong)buffer.Length);
            return Items(buffer[0] == 0xFFFFFFFF ? 0 : count, buffer.Length, i => buffer[i]);
        }

        // The first `count` items, never more than the buffer holds.
        static T[] Items<T>(ulong count, int capacity, Func<int, T> item)
        {
            var items = new T[Math.Min(count, (ulong)capacity)];
            for (int i = 0; i < items.Length; i++) items[i] = item(i);
            return items;
        }

        /// <summary>The supported display-mode identifiers; empty when not connected.</summary>
        public int[] SupportedDisplayModes
        {
            get
            {
                var buffer = new int[Native.MaxSupportedValues];
                return Items(Native.GetSupportedDisplayModes(buffer, (ulong)buffer.Length), buffer.Length, i => buffer[i]);
            }
        }

        /// <summary>The display mode, as an identifier; <see cref="NoDisplayMode"/> when not connected.</summary>
        public int DisplayMode { get => Native.GetCurrentDisplayMode(); set => Native.SetDisplayMode(value); }
        /// <summary>Asks the monitor to restore its factory defaults where this machine allows it.</summary>
        public void FactoryReset() => Native.FactoryReset();

        // ---- Automatic colour ----

        /// <summary>Whether the service switches the colour mode by application.</summary>
        public bool AutoColorEnabled { get => Native.IsAutoColorEnabled(); set => Native.EnableAutoColor(value); }
        /// <summary>Adds an application: <paramref name="appName"/> up to 99 UTF-16 units, <paramref name="appPath"/> up to 299.</summary>
        /// <exception cref="ArgumentException">A string is null or too long for its slot.</exception>
        public void AddAutoColorApp(string appName, string appPath) =>
            Native.AddAutoColorApp(Fit(appName, Native.NameUnits, "appName"), Fit(appPath, Native.AppPathUnits, "appPath"));
        /// <summary>Deletes an application by name (up to 99 UTF-16 units).</summary>
        /// <exception cref="ArgumentException">The name is null or too long.</exception>
        public void DeleteAutoColorApp(string appName) => Native.DeleteAutoColorApp(Fit(appName, Native.NameUnits, "appName"));
        /// <summary>Sets an application's colour mode; both names up to 99 UTF-16 units.</summary>
        /// <exception cref="ArgumentException">A name is null or too long.</exception>
        public void SetAutoColorAppMode(string appName, string modeName) =>
            Native.SetAutoColorAppMode(Fit(appName, Native.NameUnits, "appName"), Fit(modeName, Native.NameUnits, "modeName"));

        static string Fit(string text, int units, string name)
        {
            if (text == null) throw new ArgumentNullException(name);
            if (text.Length >= units)
                throw new ArgumentException(string.Format("{0} UTF-16 units do not fit a slot of {1}", text.Length, units), name);
            return text;
        }

        /// <summary>The application table: application name and colour-mode name; empty when not
        /// connected or when the request fails.</summary>
        public KeyValuePair<string, string>[] AutoColorApps
        {
            get
            {
                var table = new Native.AutoColorTable();
                uint count = Native.GetAutoColorTable(ref table);
                var filled = table;
                return Items(count, Native.AutoColorMaxApps, i => new KeyValuePair<string, string>(filled.AppName(i), filled.ModeName(i)));
            }
        }

        /// <summary>The colour-mode names the service offers (the first 20); empty when not connected.</summary>
        public string[] AutoColorModes
        {
            get
            {
                var list = new Native.AutoColorModeList();
                Native.getSupportedAutoColorMode(ref list);
                return Items(list.count, Native.AutoColorMaxModes, list.ModeName);
            }
        }

        // ---- Desktop partition ----

        /// <summary>Whether desktop partition is on.</summary>
        public bool DesktopPartitionEnabled { get => Native.IsDesktopPartitionEnabled(); set => Native.EnableDesktopPartition(value); }
        /// <summary>The screens' names; empty when not connected or when the request fails.</summary>
        public string[] Screens
        {
            get
            {
                var list = new Native.DPScreenList();
                return Items(Native.GetDPSupportedScreens(ref list), Native.DPMaxScreens, list.ScreenName);
            }
        }
        /// <summary>Sets a screen's layout; both values are the service's.</summary>
        public void SetDesktopPartition(uint screen, uint partition) => Native.SetDesktopPartition(screen, partition);
        /// <summary>A screen's layout; <see cref="NotConnected"/> when not connected or when the request fails.</summary>
        public uint GetDesktopPartition(uint screen) => Native.GetDesktopPartition(screen);
        /// <summary>Asks the service to open the layout customizer.</summary>
        public void LaunchDesktopPartitionCustomizer() => Native.LuanchDesktopPartitionCustomizer();

        // ---- Schedule and power savings ----

        /// <summary>Whether the display-mode schedule is on.</summary>
        public bool ScheduleEnabled { get => Native.GetSchedule(); set => Native.EnableSchedule(value); }
        /// <summary>Sets the schedule's four time fields, passed through unchanged.</summary>
        public void SetScheduleTimes(uint time1, uint time2, uint time3, uint time4) => Native.SetScheduleTime(time1, time2, time3, time4);
        /// <summary>The schedule's four time fields; false, with <paramref name="times"/> null, when
        /// not connected or when the request fails.</summary>
        public bool TryGetScheduleTimes(out uint[] times)
        {
            uint t1, t2, t3, t4;
            bool stored = Native.GetScheduleTime(out t1, out t2, out t3, out t4);
            times = stored ? new[] { t1, t2, t3, t4 } : null;
            return stored;
        }
        /// <summary>The schedule's display mode; <see cref="NoDisplayMode"/> when not connected or when the request fails.</summary>
        public int ScheduleMode { get => Native.GetShedulerMode(); set => Native.SetShedulerMode(value); }
        /// <summary>Whether power savings are on.</summary>
        public bool PowerSavings { get => Native.GetPowerSavings(); set => Native.SetPowerSavings(value); }
        /// <summary>True only when the display is in HDR operation.</summary>
        public bool HdrActive => Native.GetHDRStatus();
    }
}
