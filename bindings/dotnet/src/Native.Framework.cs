#if !NET
// .NET Framework and Mono have no source-generated imports: these are the implementations of
// Native's declarations there; the declarations carry the marshalling.
using System.Runtime.InteropServices;

namespace Lmvx
{
    public static partial class Native
    {
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial int GetLVXStatus();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool CheckService();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool Start();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void Stop(bool notifyService);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void EnableEvent(int type);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void DisableEvent(int type);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void EnablePolling(int category, uint intervalMs);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void DisablePolling(int category);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void UpdateData(int type);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetBrightness();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetContrast();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetContrast(uint value);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetWhitePoint();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetWhitePoint(uint value);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetRedGain();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetRedGain(uint value);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetGreenGain();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetGreenGain(uint value);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetBlueGain();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetBlueGain(uint value);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetInputSource();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetInputSource(uint value);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial ulong GetSupportedWhitePoints(uint[] buffer, ulong capacity);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial ulong GetSupportedInputSources(uint[] buffer, ulong capacity);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial ulong GetSupportedDisplayModes(int[] buffer, ulong capacity);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetDisplayMode(int displayMode);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial int GetCurrentDisplayMode();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool IsPlatformSupported();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void FactoryReset();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void EnableAutoColor(bool enable);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool IsAutoColorEnabled();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true, CharSet = CharSet.Unicode)] public static extern partial void AddAutoColorApp(string appName, string appPath);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true, CharSet = CharSet.Unicode)] public static extern partial void DeleteAutoColorApp(string appName);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true, CharSet = CharSet.Unicode)] public static extern partial void SetAutoColorAppMode(string appName, string modeName);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetAutoColorTable(ref AutoColorTable table);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void getSupportedAutoColorMode(ref AutoColorModeList list);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void EnableDesktopPartition(bool enable);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool IsDesktopPartitionEnabled();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetDPSupportedScreens(ref DPScreenList list);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetDesktopPartition(uint screen, uint partition);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetDesktopPartition(uint screen);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void LuanchDesktopPartitionCustomizer();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void EnableSchedule(bool enable);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool GetSchedule();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetScheduleTime(uint time1, uint time2, uint time3, uint time4);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool GetScheduleTime(out uint time1, out uint time2, out uint time3, out uint time4);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetShedulerMode(int displayMode);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial int GetShedulerMode();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial void SetPowerSavings(bool on);
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool GetPowerSavings();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial bool GetHDRStatus();
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern partial uint GetFeatures();
    }
}

namespace System.Runtime.InteropServices
{
    // The declarations' attribute, which .NET Framework lacks.
    [AttributeUsage(AttributeTargets.Method, Inherited = false)]
    internal sealed class LibraryImportAttribute : Attribute
    {
        public LibraryImportAttribute(string libraryName) { LibraryName = libraryName; }
        public string LibraryName { get; }
        public StringMarshalling StringMarshalling { get; set; }
    }

    internal enum StringMarshalling { Custom = 0, Utf8 = 1, Utf16 = 2 }
}
#endif
