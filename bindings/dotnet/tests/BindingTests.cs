// The binding on Mono against liblmvx.so and lumivex-sim, which scripts/dotnet.sh starts in a
// private runtime folder, logging into $XDG_RUNTIME_DIR/sim.log, with the feature services
// switched on so that no expected value equals a failure value.
using System;
using System.Collections.Concurrent;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Net.Sockets;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text;
using System.Text.RegularExpressions;
using System.Threading;
using Lmvx;
using NUnit.Framework;

[TestFixture]
public class BindingTests
{
    static readonly string Dir = Environment.GetEnvironmentVariable("XDG_RUNTIME_DIR");
    static int logLinesSeen;
    static Session live;
    const string Known = "Zürich表😀";  // the simulator's one application: non-ASCII, a surrogate pair
    static readonly object Ungated = "ungated";

    static string Control(string command)
    {
        var socket = new Socket(AddressFamily.Unix, SocketType.Seqpacket, ProtocolType.Unspecified) { ReceiveTimeout = 30000 };
        socket.Connect(new Mono.Unix.UnixEndPoint(Directory.GetFiles(Dir, "*_sim_control")[0]));
        socket.Send(Encoding.UTF8.GetBytes(command));
        var reply = new byte[4096];
        try { return Encoding.UTF8.GetString(reply, 0, socket.Receive(reply)); } finally { socket.Close(); }
    }

    // The requests served since the last call: "CODE NAME FIELDS -> RESULT ANSWER; ...".
    static string Requests()
    {
        var lines = File.ReadAllLines(Path.Combine(Dir, "sim.log"));
        var fresh = lines.Skip(logLinesSeen).Select(line => line.Substring(line.IndexOf(' ', line.IndexOf('#')) + 1));
        logLinesSeen = lines.Length;
        return string.Join("; ", fresh.ToArray());
    }

    static string Show(object value) => value is Array ? string.Join(",", ((Array)value).Cast<object>()) : Convert.ToString(value);
    static object[] Row(string name, Func<object> native, Func<object> binding, object value, string log, object notConnected) => new[] { name, native, binding, value, log, notConnected };
    static Func<object> Do(Action call) => () => { call(); return null; };
    static uint[] Listed(Func<uint[], ulong, ulong> list) { var b = new uint[26]; Array.Resize(ref b, (int)list(b, 26)); return b; }
    static T[] Slots<T>(uint count, Func<int, T> item) => Enumerable.Range(0, (int)count).Select(item).ToArray();
    static object NativeTable() { var t = new Native.AutoColorTable(); var n = Native.GetAutoColorTable(ref t); var c = t; return Slots(n, i => new KeyValuePair<string, string>(c.AppName(i), c.ModeName(i))); }
    static object NativeModes() { var l = new Native.AutoColorModeList(); Native.getSupportedAutoColorMode(ref l); return Slots(l.count, l.ModeName); }
    static object NativeScreens() { var l = new Native.DPScreenList(); return Slots(Native.GetDPSupportedScreens(ref l), l.ScreenName); }
    static string NativeTimes() { uint a, b, c, d; return Native.GetScheduleTime(out a, out b, out c, out d) ? string.Concat(a, b, c, d) : "none"; }
    static string Times() { uint[] t; return live.TryGetScheduleTimes(out t) ? string.Concat(t) : "none" + Show(t); }
    static void Noop(EventType type) { }

    // The display-mode scheme is asked for once per process: here, before the first row.
    [TestFixtureSetUp] public void StartSession() { live = new Session(); Assert.IsTrue(live.Start()); Native.GetCurrentDisplayMode(); Requests(); }
    [TestFixtureTearDown] public void EndSession() => live.Dispose();

    // Each export through both layers: its value, the requests it makes, its value when not connected.
    static IEnumerable<object[]> Exports()
    {
        const string ok = " -> result 1";
        yield return Row("GetLVXStatus", () => Native.GetLVXStatus(), () => (int)Session.Status, 1, "1 status-query" + ok + " status=1", Ungated);
        yield return Row("CheckService", () => Native.CheckService(), () => Session.ServiceReady, true, "36 service-check" + ok + " readiness=2", Ungated);
        yield return Row("SetEventHandler", Do(() => Native.SetEventHandler(null)), Do(() => Session.Changed += Noop), null, "", Ungated);
        yield return Row("EnableEvent", Do(() => Native.EnableEvent(0x12)), Do(() => Session.EnableEvent(EventType.Contrast)), null, "", Ungated);
        yield return Row("DisableEvent", Do(() => Native.DisableEvent(0x105)), Do(() => Session.DisableEvent(EventType.Service105)), null, "", Ungated);
        yield return Row("EnablePolling", Do(() => Native.EnablePolling(4, 700)), Do(() => Session.EnablePolling(4, 700)), null, "39 polling-category-4 value=700" + ok, Ungated);
        yield return Row("DisablePolling", Do(() => Native.DisablePolling(3)), Do(() => Session.DisablePolling(3)), null, "40 polling-category-3 value=0" + ok, Ungated);
        yield return Row("UpdateData", Do(() => Native.UpdateData(0x16)), Do(() => live.UpdateData(0x16)), null, "34 data-refresh type=0x16" + ok, null);
        yield return Row("GetBrightness", () => Native.GetBrightness(), () => live.Brightness, 75u, "2 get-vcp vcp=0x10" + ok + " value=75", 0xFFFFFFFF);
        yield return Row("GetContrast", () => Native.GetContrast(), () => live.Contrast, 50u, "2 get-vcp vcp=0x12" + ok + " value=50", 0xFFFFFFFF);
        yield return Row("SetContrast", Do(() => Native.SetContrast(50)), Do(() => live.Contrast = 50), null, "3 set-vcp vcp=0x12 value=50" + ok, null);
        yield return Row("GetWhitePoint", () => Native.GetWhitePoint(), () => live.WhitePoint, 5u, "2 get-vcp vcp=0x14" + ok + " value=5", 0xFFFFFFFF);
        yield return Row("SetWhitePoint", Do(() => Native.SetWhitePoint(5)), Do(() => live.WhitePoint = 5), null, "3 set-vcp vcp=0x14 value=5" + ok, null);
        yield return Row("GetRedGain", () => Native.GetRedGain(), () => live.RedGain, 50u, "2 get-vcp vcp=0x16" + ok + " value=50", 0xFFFFFFFF);
        yield return Row("SetRedGain", Do(() => Native.SetRedGain(50)), Do(() => live.RedGain = 50), null, "3 set-vcp vcp=0x16 value=50" + ok, null);
        yield return Row("GetGreenGain", () => Native.GetGreenGain(), () => live.GreenGain, 50u, "2 get-vcp vcp=0x18" + ok + " value=50", 0xFFFFFFFF);
        yield return Row("SetGreenGain", Do(() => Native.SetGreenGain(50)), Do(() => live.GreenGain = 50), null, "3 set-vcp vcp=0x18 value=50" + ok, null);
        yield return Row("GetBlueGain", () => Native.GetBlueGain(), () => live.BlueGain, 50u, "2 get-vcp vcp=0x1A" + ok + " value=50", 0xFFFFFFFF);
        yield return Row("SetBlueGain", Do(() => Native.SetBlueGain(50)), Do(() => live.BlueGain = 50), null, "3 set-vcp vcp=0x1A value=50" + ok, null);
        yield return Row("GetInputSource", () => Native.GetInputSource(), () => live.InputSource, 15u, "2 get-vcp vcp=0x60" + ok + " value=15", 0xFFFFFFFF);
        yield return Row("SetInputSource", Do(() => Native.SetInputSource(15)), Do(() => live.InputSource = 15), null, "3 set-vcp vcp=0x60 value=15" + ok, null);
        yield return Row("GetSupportedWhitePoints", () => Listed(Native.GetSupportedWhitePoints), () => live.SupportedWhitePoints, "1,4,5,6,8,11", "4 vcp-capabilities vcp=0x14" + ok + " supported=1 values=0x01,0x04,0x05,0x06,0x08,0x0B", "");
        yield return Row("GetSupportedInputSources", () => Listed(Native.GetSupportedInputSources), () => live.SupportedInputSources, "15,16,17,18", "4 vcp-capabilities vcp=0x60" + ok + " supported=1 values=0x0F,0x10,0x11,0x12", "");
        yield return Row("GetSupportedDisplayModes", () => { var b = new int[26]; Array.Resize(ref b, (int)Native.GetSupportedDisplayModes(b, 26)); return b; }, () => live.SupportedDisplayModes, "11,3,7,2,1,0", "4 vcp-capabilities vcp=0xDC" + ok + " supported=1 values=0x00,0x02,0x03,0x04,0x05,0x0D", "");
        yield return Row("SetDisplayMode", Do(() => Native.SetDisplayMode(11)), Do(() => live.DisplayMode = 11), null, "3 set-vcp vcp=0xDC value=0" + ok, null);
        yield return Row("GetCurrentDisplayMode", () => Native.GetCurrentDisplayMode(), () => live.DisplayMode, 11, "2 get-vcp vcp=0xDC" + ok + " value=0", -1);
        yield return Row("IsPlatformSupported", () => Native.IsPlatformSupported(), () => Session.IsPlatformSupported, Native.IsPlatformSupported(), "", Ungated);
        yield return Row("FactoryReset", Do(Native.FactoryReset), Do(() => live.FactoryReset()), null, Native.IsPlatformSupported() ? "3 set-vcp vcp=0x04 value=1" + ok : "", null);
        yield return Row("EnableAutoColor", Do(() => Native.EnableAutoColor(true)), Do(() => live.AutoColorEnabled = true), null, "10 enable-auto-color flag=1" + ok, null);
        yield return Row("IsAutoColorEnabled", () => Native.IsAutoColorEnabled(), () => live.AutoColorEnabled, true, "11 auto-color-state" + ok + " state=1", false);
        yield return Row("AddAutoColorApp", Do(() => Native.AddAutoColorApp(Known, "/x")), Do(() => live.AddAutoColorApp(Known, "/x")), null, "12 add-auto-color-app name=\"" + Known + "\" path=\"/x\"" + ok, null);
        yield return Row("DeleteAutoColorApp", Do(() => Native.DeleteAutoColorApp("none")), Do(() => live.DeleteAutoColorApp("none")), null, "13 delete-auto-color-app name=\"none\" -> result 0", null);
        yield return Row("SetAutoColorAppMode", Do(() => Native.SetAutoColorAppMode(Known, "Default")), Do(() => live.SetAutoColorAppMode(Known, "Default")), null, "14 set-auto-color-app-mode name=\"" + Known + "\" mode=\"Default\"" + ok, null);
        yield return Row("GetAutoColorTable", NativeTable, () => live.AutoColorApps, "[" + Known + ", Default]", "15 auto-color-table" + ok + " count=1", "");
        yield return Row("getSupportedAutoColorMode", NativeModes, () => live.AutoColorModes, "Default,Movie,Gaming,Photo,Web", "21 color-mode-list" + ok + " count=5 \"Default\" \"Movie\" \"Gaming\" \"Photo\" \"Web\"", "");
        yield return Row("EnableDesktopPartition", Do(() => Native.EnableDesktopPartition(true)), Do(() => live.DesktopPartitionEnabled = true), null, "5 enable-desktop-partition flag=1" + ok, null);
        yield return Row("IsDesktopPartitionEnabled", () => Native.IsDesktopPartitionEnabled(), () => live.DesktopPartitionEnabled, true, "6 desktop-partition-state" + ok + " state=1", false);
        yield return Row("GetDPSupportedScreens", NativeScreens, () => live.Screens, "Screen 1,Screen 2", "18 screen-list" + ok + " count=2 \"Screen 1\" \"Screen 2\"", "");
        yield return Row("SetDesktopPartition", Do(() => Native.SetDesktopPartition(1, 7)), Do(() => live.SetDesktopPartition(1, 7)), null, "8 set-desktop-partition screen=1 layout=7" + ok, null);
        yield return Row("GetDesktopPartition", () => Native.GetDesktopPartition(1), () => live.GetDesktopPartition(1), 7u, "7 get-desktop-partition screen=1" + ok + " layout=7", 0xFFFFFFFF);
        yield return Row("LuanchDesktopPartitionCustomizer", Do(Native.LuanchDesktopPartitionCustomizer), Do(() => live.LaunchDesktopPartitionCustomizer()), null, "9 open-layout-customizer" + ok, null);
        yield return Row("EnableSchedule", Do(() => Native.EnableSchedule(true)), Do(() => live.ScheduleEnabled = true), null, "22 enable-schedule flag=1" + ok, null);
        yield return Row("GetSchedule", () => Native.GetSchedule(), () => live.ScheduleEnabled, true, "23 schedule-state" + ok + " state=1", false);
        yield return Row("SetScheduleTime", Do(() => Native.SetScheduleTime(1, 2, 3, 4)), Do(() => live.SetScheduleTimes(1, 2, 3, 4)), null, "25 set-schedule-times times=1,2,3,4" + ok, null);
        yield return Row("GetScheduleTime", NativeTimes, Times, "1234", "24 get-schedule-times" + ok + " times=1,2,3,4", "none");
        yield return Row("SetShedulerMode", Do(() => Native.SetShedulerMode(3)), Do(() => live.ScheduleMode = 3), null, "27 set-schedule-mode mode=2" + ok, null);
        yield return Row("GetShedulerMode", () => Native.GetShedulerMode(), () => live.ScheduleMode, 3, "26 get-schedule-mode" + ok + " mode=2", -1);
        yield return Row("SetPowerSavings", Do(() => Native.SetPowerSavings(true)), Do(() => live.PowerSavings = true), null, "30 power-savings flag=1" + ok + " state=1", null);
        yield return Row("GetPowerSavings", () => Native.GetPowerSavings(), () => live.PowerSavings, true, "30 power-savings flag=0" + ok + " state=1", false);
        yield return Row("GetHDRStatus", () => Native.GetHDRStatus(), () => live.HdrActive, true, "28 hdr-state" + ok + " state=1", false);
        yield return Row("GetFeatures", () => Native.GetFeatures(), () => Session.Features, 0x2Au, "29 feature-word" + ok + " features=0x2A", Ungated);
    }

    // A parameter or result as C sees this declaration marshal it: bool as one byte, strings as UTF-16.
    static string CType(Type type, ICustomAttributeProvider declared, CharSet charSet)
    {
        var marshal = declared.GetCustomAttributes(typeof(MarshalAsAttribute), false).Cast<MarshalAsAttribute>().FirstOrDefault();
        string name = type.Name.TrimEnd('&', '[', ']'), pointer = type.IsByRef || type.IsArray ? "*" : "";
        if (name == "Boolean") return marshal != null && marshal.Value == UnmanagedType.I1 ? "bool" : "BOOL";
        if (name == "String") return charSet == CharSet.Unicode ? "const LvxChar*" : "char*";
        return (name == "Void" ? "void" : name.Contains("Int") ? name.ToLower() + "_t" : name) + pointer;
    }

    [Test]
    public void DeclarationsMatchTheHeader()
    {
        var header = Regex.Matches(File.ReadAllText(Path.Combine(AppDomain.CurrentDomain.BaseDirectory, "../../include/lmvx.h")), @"LMVX_API ([^(]+)\(([^)]*)\);")
            .Cast<Match>().Select(m => m.Groups[1].Value + "(" + string.Join(", ", m.Groups[2].Value.Split(',').Select(p => Regex.Replace(p.Trim(), @"\s*\w+$", ""))
            .Where(p => p != "")) + ")").Select(line => line.Replace("LvxDataType", "int32_t")).OrderBy(line => line);
        var declared = typeof(Native).GetMethods().Where(m => (m.Attributes & MethodAttributes.PinvokeImpl) != 0).Select(m =>
        {
            var import = (DllImportAttribute)m.GetCustomAttributes(typeof(DllImportAttribute), false)[0];
            return (import.CallingConvention == CallingConvention.Cdecl ? "" : "stdcall ") + CType(m.ReturnType, m.ReturnParameter, import.CharSet) + " " + m.Name +
                "(" + string.Join(", ", m.GetParameters().Select(p => CType(p.ParameterType, p, import.CharSet))) + ")";
        }).OrderBy(line => line);
        Assert.AreEqual(string.Join("\n", header), string.Join("\n", declared));
    }

    [Test, TestCaseSource("Exports")]
    public void ExportThroughBothLayers(string name, Func<object> native, Func<object> binding, object value, string log, object notConnected)
    {
        foreach (var call in new[] { native, binding }) Assert.AreEqual(Show(value) + " | " + log, Show(call()) + " | " + Requests(), name);
    }

    [Test]
    public void GatedExportsGiveTheirFailureValuesWhenNotConnected()
    {
        Native.Stop(false);
        try
        {
            Assert.AreEqual("", Requests(), "Stop(false) tells the service nothing");
            foreach (object[] row in Exports().Where(row => row[5] != Ungated))
                foreach (var call in new[] { (Func<object>)row[1], (Func<object>)row[2] }) Assert.AreEqual(Show(row[5]), Show(call()) + Requests(), (string)row[0]);
            Control("silent on");
            Assert.AreEqual("False,False,0,0", Show(new object[] { Session.ServiceReady, Native.CheckService(), Session.Features, Native.GetFeatures() }));
        }
        finally { Control("silent off"); Assert.IsTrue(Native.Start()); Requests(); }
    }

    [Test]
    public void TheLastStartedHandleEndsTheSession()
    {
        Session first = new Session(), second = new Session();
        Assert.IsTrue(first.Start() && second.Start());
        first.Dispose();
        second.Dispose();
        Assert.AreEqual("Connected, 1 status-query -> result 1 status=1", Session.Status + ", " + Requests());
        live.Dispose();
        Assert.AreEqual("Stopped, 17 session-end -> result 1", Session.Status + ", " + Requests());
        Assert.IsTrue((live = new Session()).Start());
        StringAssert.Contains("32 register-window", Requests());
        Assert.Throws<ObjectDisposedException>(() => first.Start());
    }

    [Test]
    public void StringsFillTheirSlotsWholeAndLongerOnesAreRefused()
    {
        string name = Known + new string('n', 99 - Known.Length), mode = "Mödé" + new string('m', 95), path = "/Ä" + new string('p', 297);
        Control("modes Default," + mode);
        try
        {
            live.AddAutoColorApp(name, path);
            live.SetAutoColorAppMode(name, mode);
            Assert.AreEqual(string.Format("12 add-auto-color-app name=\"{0}\" path=\"{1}\" -> result 1; 14 set-auto-color-app-mode name=\"{0}\" mode=\"{2}\" -> result 1", name, path, mode), Requests());
            CollectionAssert.Contains(live.AutoColorApps, new KeyValuePair<string, string>(name, mode));
            CollectionAssert.AreEqual(new[] { "Default", mode }, live.AutoColorModes);
            foreach (TestDelegate refused in new TestDelegate[] { () => live.AddAutoColorApp(name + "x", "/"), () => live.AddAutoColorApp("a", path + "x"),
                                                                  () => live.SetAutoColorAppMode("a", mode + "x"), () => live.DeleteAutoColorApp(null) })
                Assert.Catch<ArgumentException>(refused);
        }
        finally { live.DeleteAutoColorApp(name); Control("modes Default,Movie,Gaming,Photo,Web"); Requests(); }
    }

    [Test]
    public void AnUnsupportedControlListsNoValues()
    {
        Control("support 0x14 0");
        string listed = Native.GetSupportedWhitePoints(new uint[26], 26) + " listed, " + live.SupportedWhitePoints.Length + " written";
        Control("support 0x14 1");
        Requests();
        Assert.AreEqual("6 listed, 0 written", listed);
    }

    [Test]
    public void TenThousandAlternatingEventsArriveOnceEachWhileTheCollectorRuns()
    {
        int delivered = 0, repeated = 0;
        var last = EventType.All;
        var done = new ManualResetEvent(false);
        Action<EventType> count = type =>
        {
            if (type == EventType.InputSource) done.Set();
            else if (++delivered % 500 == 0) GC.Collect();
            if (type == last) repeated++;
            last = type;
        };
        Session.Changed += count;
        Session.Changed += count;
        Session.Changed -= count;  // one of the two subscriptions
        for (int i = 0; i < 10000; i++)
        {
            Control(i % 2 == 0 ? "notify 0x10 1" : "notify 0x12 1");
            if (i % 100 == 0) GC.Collect();
        }
        Control("notify 0x60 1");
        Assert.IsTrue(done.WaitOne(120000), "the closing event");
        Session.Changed -= count;
        Assert.AreEqual("10000 delivered, 0 repeated", delivered + " delivered, " + repeated + " repeated");
    }

    sealed class PostQueue : SynchronizationContext
    {
        public readonly BlockingCollection<Action> Posted = new BlockingCollection<Action>();
        public override void Post(SendOrPostCallback callback, object state) => Posted.Add(() => callback(state));
        public override void Send(SendOrPostCallback callback, object state) => throw new InvalidOperationException("sent");
    }

    [Test]
    public void AContextSubscriberGetsEachEventPostedToItsContext()
    {
        var context = new PostQueue();
        var seen = new List<string>();
        Action<EventType> record = type => seen.Add(type + " on thread " + Thread.CurrentThread.ManagedThreadId);
        Session.Subscribe(record, context);
        Session.DisableEvent(EventType.WhitePoint);
        Control("notify 0x14 1");
        Control("notify 0x16 1");
        Action posted;
        Assert.IsTrue(context.Posted.TryTake(out posted, 30000), "posted");
        Session.Unsubscribe(record);
        Session.EnableEvent(EventType.WhitePoint);
        posted();
        Assert.AreEqual(new[] { "RedGain on thread " + Thread.CurrentThread.ManagedThreadId }, seen);
    }
}
