// The binding against liblmvx.so and lumivex-sim, which scripts/dotnet.sh starts in a private
// runtime folder, logging into $XDG_RUNTIME_DIR/sim.log, with the feature services switched on
// so that no expected value equals a failure value. Built for net8.0 (CoreCLR) and net472 (Mono).
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
using System.Threading.Tasks;
using Lmvx;
using NUnit.Framework;

[TestFixture]
public class BindingTests
{
    static readonly string Dir = Environment.GetEnvironmentVariable("XDG_RUNTIME_DIR") ?? "";
    static int logLinesSeen;
    static Session live = null!;
    const string Known = "Zürich表😀";  // the simulator's one application: non-ASCII, a surrogate pair
    static readonly object Ungated = "ungated";

    static string Control(string command)
    {
        using var socket = new Socket(AddressFamily.Unix, SocketType.Seqpacket, ProtocolType.Unspecified) { ReceiveTimeout = 30000 };
        string path = Directory.GetFiles(Dir, "*_sim_control")[0];
#if NET
        socket.Connect(new UnixDomainSocketEndPoint(path));
#else
        socket.Connect(new Mono.Unix.UnixEndPoint(path));
#endif
        socket.Send(Encoding.UTF8.GetBytes(command));
        var reply = new byte[4096];
        return Encoding.UTF8.GetString(reply, 0, socket.Receive(reply));
    }

    // The requests served since the last call: "CODE NAME FIELDS -> RESULT ANSWER; ...".
    static string Requests()
    {
        var lines = File.ReadAllLines(Path.Combine(Dir, "sim.log"));
        var fresh = lines.Skip(logLinesSeen).Select(line => line.Substring(line.IndexOf(' ', line.IndexOf('#')) + 1));
        logLinesSeen = lines.Length;
        return string.Join("; ", fresh.ToArray());
    }

    static string Show(object? value) => value is Array array ? string.Join(",", array.Cast<object>()) : Convert.ToString(value) ?? "";
    static object?[] Row(string name, Func<object?> native, Func<object?> binding, object? value, string log, object? notConnected) => new[] { name, native, binding, value, log, notConnected };
    static Func<object?> Do(Action call) => () => { call(); return null; };
    static uint[] Listed(Func<uint[], ulong, ulong> list) { var b = new uint[26]; Array.Resize(ref b, (int)list(b, 26)); return b; }
    static T[] Slots<T>(uint count, Func<int, T> item) => Enumerable.Range(0, (int)count).Select(item).ToArray();
    static object NativeTable() { var t = new Native.AutoColorTable(); var n = Native.GetAutoColorTable(ref t); var c = t; return Slots(n, i => new KeyValuePair<string, string>(c.AppName(i), c.ModeName(i))); }
    static object NativeModes() { var l = new Native.AutoColorModeList(); Native.getSupportedAutoColorMode(ref l); return Slots(l.count, l.ModeName); }
    static object NativeScreens() { var l = new Native.DPScreenList(); return Slots(Native.GetDPSupportedScreens(ref l), l.ScreenName); }
    static string NativeTimes() => Native.GetScheduleTime(out uint a, out uint b, out uint c, out uint d) ? string.Join(",", a, b, c, d) : "none";
    static void Noop(object? sender, SessionEventArgs e) { }
    // A member of the flat layer (target null) or of a handle, by name.
    static object? Invoke(Session? target, string name, params object[] args) => (target == null ? typeof(Native) : typeof(Session)).GetMethod(name)!.Invoke(target, args);

    // The display-mode scheme is asked for once per process: here, before the first row.
    [OneTimeSetUp] public void StartSession() { live = new Session(); Assert.IsTrue(live.Start()); Native.GetCurrentDisplayMode(); Requests(); }
    [OneTimeTearDown] public void EndSession() => live.Dispose();

    // Each export through both layers: its value, the requests it makes, its value when not connected.
    static IEnumerable<object?[]> Exports()
    {
        const string ok = " -> result 1";
        yield return Row("GetLVXStatus", () => Native.GetLVXStatus(), () => (int)Session.GetStatus(), 1, "1 status-query" + ok + " status=1", Ungated);
        yield return Row("CheckService", () => Native.CheckService(), () => Session.CheckService(), true, "36 service-check" + ok + " readiness=2", Ungated);
        yield return Row("SetEventHandler", Do(() => Native.SetEventHandler(null)), Do(() => live.Changed += Noop), null, "", Ungated);
        yield return Row("EnableEvent", Do(() => Native.EnableEvent(0x12)), Do(() => Session.EnableEvent(EventType.Contrast)), null, "", Ungated);
        yield return Row("DisableEvent", Do(() => Native.DisableEvent(0x105)), Do(() => Session.DisableEvent(EventType.Service105)), null, "", Ungated);
        yield return Row("EnablePolling", Do(() => Native.EnablePolling(4, 700)), Do(() => Session.EnablePolling(4, 700)), null, "39 polling-category-4 value=700" + ok, Ungated);
        yield return Row("DisablePolling", Do(() => Native.DisablePolling(3)), Do(() => Session.DisablePolling(3)), null, "40 polling-category-3 value=0" + ok, Ungated);
        yield return Row("UpdateData", Do(() => Native.UpdateData(0x16)), Do(() => live.UpdateData(0x16)), null, "34 data-refresh type=0x16" + ok, null);
        yield return Row("GetBrightness", () => Native.GetBrightness(), () => live.GetBrightness(), 75u, "2 get-vcp vcp=0x10" + ok + " value=75", 0xFFFFFFFF);
        // The picture controls alike: each read of its code, and a write of the value read.
        foreach (var (control, code, value) in new[] { ("Contrast", "0x12", 50u), ("WhitePoint", "0x14", 5u), ("RedGain", "0x16", 50u),
                                                       ("GreenGain", "0x18", 50u), ("BlueGain", "0x1A", 50u), ("InputSource", "0x60", 15u) })
        {
            yield return Row("Get" + control, () => Invoke(null, "Get" + control), () => Invoke(live, "Get" + control), value, "2 get-vcp vcp=" + code + ok + " value=" + value, 0xFFFFFFFF);
            yield return Row("Set" + control, Do(() => Invoke(null, "Set" + control, value)), Do(() => Invoke(live, "Set" + control, value)), null, "3 set-vcp vcp=" + code + " value=" + value + ok, null);
        }
        yield return Row("GetSupportedWhitePoints", () => Listed(Native.GetSupportedWhitePoints), () => live.GetSupportedWhitePoints(), "1,4,5,6,8,11", "4 vcp-capabilities vcp=0x14" + ok + " supported=1 values=0x01,0x04,0x05,0x06,0x08,0x0B", "");
        yield return Row("GetSupportedInputSources", () => Listed(Native.GetSupportedInputSources), () => live.GetSupportedInputSources(), "15,16,17,18", "4 vcp-capabilities vcp=0x60" + ok + " supported=1 values=0x0F,0x10,0x11,0x12", "");
        yield return Row("GetSupportedDisplayModes", () => { var b = new int[26]; Array.Resize(ref b, (int)Native.GetSupportedDisplayModes(b, 26)); return b; }, () => live.GetSupportedDisplayModes(), "11,3,7,2,1,0", "4 vcp-capabilities vcp=0xDC" + ok + " supported=1 values=0x00,0x02,0x03,0x04,0x05,0x0D", "");
        yield return Row("SetDisplayMode", Do(() => Native.SetDisplayMode(11)), Do(() => live.SetDisplayMode(11)), null, "3 set-vcp vcp=0xDC value=0" + ok, null);
        yield return Row("GetCurrentDisplayMode", () => Native.GetCurrentDisplayMode(), () => live.GetDisplayMode(), 11, "2 get-vcp vcp=0xDC" + ok + " value=0", -1);
        yield return Row("IsPlatformSupported", () => Native.IsPlatformSupported(), () => Session.IsPlatformSupported(), Native.IsPlatformSupported(), "", Ungated);
        yield return Row("FactoryReset", Do(Native.FactoryReset), Do(() => live.FactoryReset()), null, Native.IsPlatformSupported() ? "3 set-vcp vcp=0x04 value=1" + ok : "", null);
        yield return Row("EnableAutoColor", Do(() => Native.EnableAutoColor(true)), Do(() => live.SetAutoColorEnabled(true)), null, "10 enable-auto-color flag=1" + ok, null);
        yield return Row("IsAutoColorEnabled", () => Native.IsAutoColorEnabled(), () => live.IsAutoColorEnabled(), true, "11 auto-color-state" + ok + " state=1", false);
        yield return Row("AddAutoColorApp", Do(() => Native.AddAutoColorApp(Known, "/x")), Do(() => live.AddAutoColorApp(Known, "/x")), null, "12 add-auto-color-app name=\"" + Known + "\" path=\"/x\"" + ok, null);
        yield return Row("DeleteAutoColorApp", Do(() => Native.DeleteAutoColorApp("none")), Do(() => live.DeleteAutoColorApp("none")), null, "13 delete-auto-color-app name=\"none\" -> result 0", null);
        yield return Row("SetAutoColorAppMode", Do(() => Native.SetAutoColorAppMode(Known, "Default")), Do(() => live.SetAutoColorAppMode(Known, "Default")), null, "14 set-auto-color-app-mode name=\"" + Known + "\" mode=\"Default\"" + ok, null);
        yield return Row("GetAutoColorTable", NativeTable, () => live.GetAutoColorApps(), "[" + Known + ", Default]", "15 auto-color-table" + ok + " count=1", "");
        yield return Row("getSupportedAutoColorMode", NativeModes, () => live.GetAutoColorModes(), "Default,Movie,Gaming,Photo,Web", "21 color-mode-list" + ok + " count=5 \"Default\" \"Movie\" \"Gaming\" \"Photo\" \"Web\"", "");
        yield return Row("EnableDesktopPartition", Do(() => Native.EnableDesktopPartition(true)), Do(() => live.SetDesktopPartitionEnabled(true)), null, "5 enable-desktop-partition flag=1" + ok, null);
        yield return Row("IsDesktopPartitionEnabled", () => Native.IsDesktopPartitionEnabled(), () => live.IsDesktopPartitionEnabled(), true, "6 desktop-partition-state" + ok + " state=1", false);
        yield return Row("GetDPSupportedScreens", NativeScreens, () => live.GetScreens(), "Screen 1,Screen 2", "18 screen-list" + ok + " count=2 \"Screen 1\" \"Screen 2\"", "");
        yield return Row("SetDesktopPartition", Do(() => Native.SetDesktopPartition(1, 7)), Do(() => live.SetDesktopPartition(1, 7)), null, "8 set-desktop-partition screen=1 layout=7" + ok, null);
        yield return Row("GetDesktopPartition", () => Native.GetDesktopPartition(1), () => live.GetDesktopPartition(1), 7u, "7 get-desktop-partition screen=1" + ok + " layout=7", 0xFFFFFFFF);
        yield return Row("LuanchDesktopPartitionCustomizer", Do(Native.LuanchDesktopPartitionCustomizer), Do(() => live.LaunchDesktopPartitionCustomizer()), null, "9 open-layout-customizer" + ok, null);
        yield return Row("EnableSchedule", Do(() => Native.EnableSchedule(true)), Do(() => live.SetScheduleEnabled(true)), null, "22 enable-schedule flag=1" + ok, null);
        yield return Row("GetSchedule", () => Native.GetSchedule(), () => live.IsScheduleEnabled(), true, "23 schedule-state" + ok + " state=1", false);
        yield return Row("SetScheduleTime", Do(() => Native.SetScheduleTime(1, 2, 3, 4)), Do(() => live.SetScheduleTimes(1, 2, 3, 4)), null, "25 set-schedule-times times=1,2,3,4" + ok, null);
        yield return Row("GetScheduleTime", NativeTimes, () => live.GetScheduleTimes(), "1,2,3,4", "24 get-schedule-times" + ok + " times=1,2,3,4", "none");
        yield return Row("SetShedulerMode", Do(() => Native.SetShedulerMode(3)), Do(() => live.SetScheduleMode(3)), null, "27 set-schedule-mode mode=2" + ok, null);
        yield return Row("GetShedulerMode", () => Native.GetShedulerMode(), () => live.GetScheduleMode(), 3, "26 get-schedule-mode" + ok + " mode=2", -1);
        yield return Row("SetPowerSavings", Do(() => Native.SetPowerSavings(true)), Do(() => live.SetPowerSavings(true)), null, "30 power-savings flag=1" + ok + " state=1", null);
        yield return Row("GetPowerSavings", () => Native.GetPowerSavings(), () => live.GetPowerSavings(), true, "30 power-savings flag=0" + ok + " state=1", false);
        yield return Row("GetHDRStatus", () => Native.GetHDRStatus(), () => live.IsHdrActive(), true, "28 hdr-state" + ok + " state=1", false);
        yield return Row("GetFeatures", () => Native.GetFeatures(), () => (uint)Session.GetFeatures(), 0x2Au, "29 feature-word" + ok + " features=0x2A", Ungated);
    }

    // A parameter or result as C sees this declaration marshal it: bool as one byte, strings as UTF-16.
    static string CType(Type type, ICustomAttributeProvider declared, bool utf16)
    {
        var marshal = declared.GetCustomAttributes(typeof(MarshalAsAttribute), false).Cast<MarshalAsAttribute>().FirstOrDefault();
        string name = type.Name.TrimEnd('&', '[', ']'), pointer = type.IsByRef || type.IsArray ? "*" : "";
        if (name == "Boolean") return marshal != null && marshal.Value == UnmanagedType.I1 ? "bool" : "BOOL";
        if (name == "String") return utf16 ? "const LvxChar*" : "char*";
        return (name == "Void" ? "void" : name.Contains("Int") ? name.ToLower() + "_t" : name) + pointer;
    }

    // Each import as C would declare it; a convention other than cdecl, and a name the loader may
    // decorate (no ExactSpelling), show up as prefixes. A source-generated import is cdecl and exact.
    static string Declaration(MethodInfo method)
    {
        var dll = (DllImportAttribute?)method.GetCustomAttributes(typeof(DllImportAttribute), false).FirstOrDefault();
        var generated = method.GetCustomAttributes(false).FirstOrDefault(a => a.GetType().Name == "LibraryImportAttribute");
        // The generator may forward a blittable declaration as a plain import of the platform's convention.
        string prefix = generated != null ? "" : (dll!.CallingConvention == CallingConvention.Cdecl ? "" : "stdcall ") + (dll.ExactSpelling ? "" : "inexact ");
        bool utf16 = generated == null ? dll!.CharSet == CharSet.Unicode : Convert.ToInt32(generated.GetType().GetProperty("StringMarshalling")!.GetValue(generated)) == 2;
        return prefix + CType(method.ReturnType, method.ReturnParameter, utf16) + " " + method.Name +
            "(" + string.Join(", ", method.GetParameters().Select(p => CType(p.ParameterType, p, utf16))) + ")";
    }

    [Test]
    public void DeclarationsMatchTheHeader()
    {
        string text;
        using (var reader = new StreamReader(typeof(BindingTests).Assembly.GetManifestResourceStream("lmvx.h")!)) text = reader.ReadToEnd();
        var header = Regex.Matches(text, @"LMVX_API ([^(]+)\(([^)]*)\);")
            .Cast<Match>().Select(m => m.Groups[1].Value + "(" + string.Join(", ", m.Groups[2].Value.Split(',').Select(p => Regex.Replace(p.Trim(), @"\s*\w+$", ""))
            .Where(p => p != "")) + ")").Select(line => line.Replace("LvxDataType", "int32_t")).OrderBy(line => line, StringComparer.Ordinal);
        var declared = typeof(Native).GetMethods(BindingFlags.Public | BindingFlags.Static)
            .Where(m => (m.Attributes & MethodAttributes.PinvokeImpl) != 0 || m.GetCustomAttributes(false).Any(a => a.GetType().Name == "LibraryImportAttribute"))
            .Select(Declaration).OrderBy(line => line, StringComparer.Ordinal);
        Assert.AreEqual(string.Join("\n", header), string.Join("\n", declared));
    }

    [Test, TestCaseSource(nameof(Exports))]
    public void ExportThroughBothLayers(string name, Func<object?> native, Func<object?> binding, object? value, string log, object? notConnected)
    {
        foreach (var call in new[] { native, binding }) Assert.AreEqual(Show(value) + " | " + log, Show(call()) + " | " + Requests(), name);
    }

    // The flat layer's failure values; the binding's null (nothing, for a list) instead, also for
    // a failed exchange, which reads 0 or false, both legal values.
    [Test]
    public void GatedMembersGiveNoValueWhenNotConnectedOrTheExchangeFails()
    {
        Native.Stop(false);
        try
        {
            Assert.AreEqual("", Requests(), "Stop(false) tells the service nothing");
            foreach (object?[] row in Exports().Where(row => row[5] != Ungated))
                Assert.AreEqual(Show(row[5]) + " | ", Show(((Func<object?>)row[1]!)()) + Requests() + " | " + Show(((Func<object?>)row[2]!)()) + Requests(), (string)row[0]!);
        }
        finally
        {
            // Another handle still counts as started; this one finds the library stopped and starts it.
            using (var again = new Session()) Assert.AreEqual("True, Connected", again.Start() + ", " + Session.GetStatus());
            Requests();
        }
        Control("silent on");
        try
        {
            Assert.AreEqual("0,False,False,0", Show(new object[] { Native.GetContrast(), Native.IsAutoColorEnabled(), Session.CheckService(), (uint)Session.GetFeatures() }));
            Assert.AreEqual("||", Show(live.GetContrast()) + "|" + Show(live.IsAutoColorEnabled()) + "|" + Show(live.GetDesktopPartition(1)));
        }
        finally { Control("silent off"); Assert.AreEqual(ConnectionState.Connected, Session.GetStatus()); Requests(); }
        Control("set 0x12 0");
        try { Assert.AreEqual(0u, live.GetContrast(), "a legal 0 while connected"); }
        finally { Control("set 0x12 50"); Requests(); }
    }

    [Test]
    public void TheLastStartedHandleEndsTheSessionAndADisposedHandleRefusesEveryMember()
    {
        Session first = new Session(), second = new Session();
        Assert.IsTrue(first.Start() && second.Start());
        first.Dispose();
        second.Dispose();
        // Each start of a handle that joins asks for the library's state.
        Assert.AreEqual("Connected, " + string.Join("; ", Enumerable.Repeat("1 status-query -> result 1 status=1", 3)), Session.GetStatus() + ", " + Requests());
        live.Dispose();
        Assert.AreEqual("Stopped, 17 session-end -> result 1", Session.GetStatus() + ", " + Requests());
        Assert.IsTrue((live = new Session()).Start());
        StringAssert.Contains("32 register-window", Requests());
        foreach (TestDelegate call in new TestDelegate[] { () => first.Start(), () => first.StartAsync(), () => first.GetContrast(),
                                                           () => first.SetContrast(1), () => first.GetAutoColorApps(), () => first.Changed += Noop })
            Assert.Throws<ObjectDisposedException>(call);
        first.Changed -= Noop; first.Dispose();  // neither throws after Dispose
    }

    [Test]
    public void StartAsyncLeavesTheCallerFreeAndACancelledStartIsUndone()
    {
        using var handle = new Session();
        Assert.IsTrue(handle.StartAsync(new CancellationToken(true)).IsCanceled);
        live.Dispose(); Requests();  // no other handle: undoing the start ends the session
        Control("status 0");  // the library's start now waits for the service's answer
        try
        {
            var cancel = new CancellationTokenSource();
            var waiting = handle.StartAsync(cancel.Token);
            Assert.IsFalse(waiting.IsCompleted);
            cancel.Cancel();
            Assert.IsTrue(waiting.IsCanceled);
        }
        finally { Control("status 1"); }
        string seen = "";
        Assert.IsTrue(SpinWait.SpinUntil(() => (seen += Requests()).Contains("17 session-end"), 60000), seen);
        Assert.IsTrue(handle.StartAsync().Result);
        Assert.IsTrue((live = new Session()).Start());
        Requests();
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
            CollectionAssert.Contains(live.GetAutoColorApps(), new KeyValuePair<string, string>(name, mode));
            CollectionAssert.AreEqual(new[] { "Default", mode }, live.GetAutoColorModes());
            foreach (TestDelegate refused in new TestDelegate[] { () => live.AddAutoColorApp(name + "x", "/"), () => live.AddAutoColorApp("a", path + "x"),
                                                                  () => live.SetAutoColorAppMode("a", mode + "x"), () => live.DeleteAutoColorApp(null!) })
                Assert.Catch<ArgumentException>(refused);
        }
        finally { live.DeleteAutoColorApp(name); Control("modes Default,Movie,Gaming,Photo,Web"); Requests(); }
    }

    [Test]
    public void AnUnsupportedControlListsNoValues()
    {
        Control("support 0x14 0");
        string listed = Native.GetSupportedWhitePoints(new uint[26], 26) + " listed, " + live.GetSupportedWhitePoints().Length + " written";
        Control("support 0x14 1");
        Requests();
        Assert.AreEqual("6 listed, 0 written", listed);
    }

    // Only x64 and ARM64 have a LMVX.dll; each finds its own beside the program.
    [Test]
    public void EachArchitectureLoadsItsOwnLibraryAndAnyOtherIsRefused()
    {
        var loader = typeof(Native).Assembly.GetType("Lmvx.NativeLibraryLoader")!;
        object? Call(string name, params object[] args) =>
            loader.GetMethod(name, BindingFlags.Static | BindingFlags.NonPublic, null, args.Select(a => a.GetType()).ToArray(), null)!.Invoke(null, args);
        string dir = Path.Combine(Path.GetTempPath(), "lmvx-loader-" + Guid.NewGuid().ToString("N"));
        foreach (var arch in new[] { "x64", "arm64" }) { Directory.CreateDirectory(Path.Combine(dir, "lmvx", arch)); File.WriteAllText(Path.Combine(dir, "lmvx", arch, "LMVX.dll"), arch); }
        try
        {
            foreach (var (architecture, expected) in new[] { (Architecture.X64, "x64"), (Architecture.Arm64, "arm64"), (Architecture.X86, "refused X86"), (Architecture.Arm, "refused Arm") })
            {
                string outcome;
                try { Call("EnsureSupported", architecture); outcome = File.ReadAllText((string)Call("ArchitecturePath", dir, architecture)!); }
                catch (TargetInvocationException e) when (e.InnerException is PlatformNotSupportedException refusal)
                { outcome = "refused " + Regex.Match(refusal.Message, @"x64 and ARM64 processes only; this process is (\w+)\.").Groups[1].Value; }
                Assert.AreEqual(expected, outcome);
            }
        }
        finally { Directory.Delete(dir, true); }
    }

    sealed class PostQueue : SynchronizationContext
    {
        public readonly BlockingCollection<Action> Posted = new BlockingCollection<Action>();
        public Exception? Refusal;
        public override void Post(SendOrPostCallback callback, object? state) => Posted.Add(Refusal == null ? () => callback(state) : throw Refusal);
        public override void Send(SendOrPostCallback callback, object? state) => throw new InvalidOperationException("sent");
    }

    static void AddOn(SynchronizationContext context, Session listener, EventHandler<SessionEventArgs> handler)
    {
        var before = SynchronizationContext.Current;
        SynchronizationContext.SetSynchronizationContext(context);
        try { listener.Changed += handler; } finally { SynchronizationContext.SetSynchronizationContext(before); }
    }

    [Test]
    public void TenThousandAlternatingEventsArriveOnceEachWhileTheCollectorRuns()
    {
        int delivered = 0, repeated = 0;
        var last = EventType.All;
        var done = new ManualResetEventSlim();
        EventHandler<SessionEventArgs> count = (sender, e) =>
        {
            if (e.Type == EventType.InputSource) done.Set();
            else if (++delivered % 500 == 0) GC.Collect();
            if (e.Type == last) repeated++;
            last = e.Type;
        };
        using var listener = new Session { CaptureSynchronizationContext = false };
        listener.Changed += count;
        listener.Changed += count;
        listener.Changed -= count;  // one of the two subscriptions
        for (int i = 0; i < 10000; i++) { Control(i % 2 == 0 ? "notify 0x10 1" : "notify 0x12 1"); if (i % 100 == 0) GC.Collect(); }
        Control("notify 0x60 1");
        Assert.IsTrue(done.Wait(120000), "the closing event");
        Assert.AreEqual("10000 delivered, 0 repeated", delivered + " delivered, " + repeated + " repeated");
    }

    [Test]
    public void AHandlerRunsOnTheContextItWasAddedOnAndNeverAfterItsRemoval()
    {
        var (context, seen) = (new PostQueue(), new List<string>());
        using var listener = new Session();
        EventHandler<SessionEventArgs> record = (sender, e) => seen.Add(e.Type + " on " + Thread.CurrentThread.ManagedThreadId + (sender == listener ? "" : " from elsewhere"));
        AddOn(context, listener, record);
        foreach (var type in new[] { "0x16", "0x18" }) Control("notify " + type + " 1");
        Assert.IsTrue(context.Posted.TryTake(out Action? first, 30000), "posted");
        first!();
        Assert.IsTrue(context.Posted.TryTake(out Action? second, 30000), "posted");
        listener.Changed -= record;
        second!();
        Assert.AreEqual(new[] { "RedGain on " + Thread.CurrentThread.ManagedThreadId }, seen);
    }

    [Test]
    public void ARemovalWaitsForTheCallInProgress()
    {
        using var listener = new Session { CaptureSynchronizationContext = false };
        ManualResetEventSlim entered = new ManualResetEventSlim(), release = new ManualResetEventSlim();
        int removed = 0;
        string during = "";
        EventHandler<SessionEventArgs> slow = (sender, e) =>
            { entered.Set(); release.Wait(); during = Volatile.Read(ref removed) == 1 ? "returned during the call" : "waited"; };
        listener.Changed += slow;
        Control("notify 0x18 1");
        Assert.IsTrue(entered.Wait(30000), "the call");
        var remover = new Thread(() => { listener.Changed -= slow; Volatile.Write(ref removed, 1); });
        remover.Start();
        // Either the removal blocks or, were it not to wait, it has returned.
        SpinWait.SpinUntil(() => Volatile.Read(ref removed) == 1 || (remover.ThreadState & ThreadState.WaitSleepJoin) != 0);
        release.Set();
        remover.Join();
        Assert.AreEqual("waited", during);
    }

    [Test]
    public void AThrowingHandlerOrContextIsReportedAndDeliveryGoesOn()
    {
        using var listener = new Session { CaptureSynchronizationContext = false };
        var failures = new BlockingCollection<string>();
        listener.HandlerFailed += (sender, e) =>
            { failures.Add(e.Type + ": " + e.Exception.Message + (sender == listener ? "" : " from elsewhere")); throw new InvalidOperationException("fails too"); };
        listener.Changed += (sender, e) => throw new ApplicationException("handler fails");
        listener.CaptureSynchronizationContext = true;
        AddOn(new PostQueue { Refusal = new InvalidOperationException("context closed") }, listener, Noop);
        Control("notify 0x16 1");
        Control("notify 0x1A 1");
        var seen = new List<string>();
        for (int i = 0; i < 4 && failures.TryTake(out string? failure, 30000); i++) seen.Add(failure!);
        Assert.AreEqual(new[] { "RedGain: handler fails", "RedGain: context closed", "BlueGain: handler fails", "BlueGain: context closed" }, seen);
    }
}
