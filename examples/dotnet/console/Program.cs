// lmvx-dotnet: a console host of the Lmvx package.
//   lmvx-dotnet          the service's status and every control's value
//   lmvx-dotnet watch    the same, then each event as it arrives until Ctrl-C
using System;
using System.Threading;
using System.Threading.Tasks;
using Lmvx;

static class Program
{
    static string List<T>(T[] values) => values.Length == 0 ? "none" : string.Join(", ", values);
    static string Show(object? value) => value?.ToString() ?? "no value";

    static string Value(Session session, EventType type) => type switch
    {
        EventType.Brightness => Show(session.GetBrightness()),
        EventType.Contrast => Show(session.GetContrast()),
        EventType.WhitePoint => Show(session.GetWhitePoint()),
        EventType.RedGain => Show(session.GetRedGain()),
        EventType.GreenGain => Show(session.GetGreenGain()),
        EventType.BlueGain => Show(session.GetBlueGain()),
        EventType.InputSource => Show(session.GetInputSource()),
        EventType.DisplayMode => Show(session.GetDisplayMode()),
        EventType.ServiceStatusChanged => Session.GetStatus().ToString(),
        _ => "",
    };

    static async Task<int> Main(string[] args)
    {
        bool watch = args.Length == 1 && args[0] == "watch";
        if (args.Length > 1 || (args.Length == 1 && !watch))
        {
            Console.Error.WriteLine("usage: lmvx-dotnet [watch]");
            return 2;
        }
        Console.WriteLine("service: {0}", Session.CheckService() ? "ready" : "not ready");
        Console.WriteLine("platform: {0}", Session.IsPlatformSupported() ? "supported" : "not supported");
        Console.WriteLine("features: 0x{0:X8}", (uint)Session.GetFeatures());
        using var session = new Session { CaptureSynchronizationContext = false };
        if (!await session.StartAsync())
        {
            Console.WriteLine("session: not started ({0})", Session.GetStatus());
            return 1;
        }
        Console.WriteLine("status: {0}", Session.GetStatus());
        foreach (var control in new[] { EventType.Brightness, EventType.Contrast, EventType.WhitePoint, EventType.RedGain,
                                        EventType.GreenGain, EventType.BlueGain, EventType.InputSource, EventType.DisplayMode })
            Console.WriteLine("{0}: {1}", control, Value(session, control));
        Console.WriteLine("white points: {0}", List(session.GetSupportedWhitePoints()));
        Console.WriteLine("input sources: {0}", List(session.GetSupportedInputSources()));
        Console.WriteLine("display modes: {0}", List(session.GetSupportedDisplayModes()));
        Console.WriteLine("auto colour: {0}, modes {1}", Show(session.IsAutoColorEnabled()), List(session.GetAutoColorModes()));
        foreach (var app in session.GetAutoColorApps()) Console.WriteLine("  {0}: {1}", app.Key, app.Value);
        Console.WriteLine("desktop partition: {0}", Show(session.IsDesktopPartitionEnabled()));
        string[] screens = session.GetScreens();
        for (uint i = 0; i < screens.Length; i++) Console.WriteLine("  {0}: layout {1}", screens[i], Show(session.GetDesktopPartition(i)));
        uint[]? times = session.GetScheduleTimes();
        Console.WriteLine("schedule: {0}, times {1}, mode {2}", Show(session.IsScheduleEnabled()),
            times == null ? "no value" : string.Join(",", times), Show(session.GetScheduleMode()));
        Console.WriteLine("power savings: {0}", Show(session.GetPowerSavings()));
        Console.WriteLine("HDR: {0}", Show(session.IsHdrActive()));
        if (!watch) return 0;

        var quit = new ManualResetEventSlim();
        Console.CancelKeyPress += (sender, e) => { e.Cancel = true; quit.Set(); };
        session.HandlerFailed += (sender, e) => Console.Error.WriteLine("handler failed: {0}", e.Exception.Message);
        session.Changed += (sender, e) => Console.WriteLine("event: {0} {1}", e.Type, Value(session, e.Type));
        Console.WriteLine("watching (Ctrl-C ends)");
        quit.Wait();
        return 0;
    }
}
