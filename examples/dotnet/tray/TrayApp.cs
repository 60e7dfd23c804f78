// lmvx-tray: a notification-area tool over the Lmvx package. Every round trip runs on the thread
// pool; the session's events arrive on the UI thread, posted to the context captured when the
// handler was added.
using System;
using System.Drawing;
using System.Threading.Tasks;
using System.Windows.Forms;
using Lmvx;

sealed class TrayApp : ApplicationContext
{
    readonly Session session = new Session();
    readonly NotifyIcon icon = new NotifyIcon { Icon = SystemIcons.Application, Text = "Lmvx", Visible = true };
    readonly ToolStripMenuItem status = new ToolStripMenuItem("Starting…") { Enabled = false };
    readonly ToolStripMenuItem contrast = new ToolStripMenuItem("Contrast: …") { Enabled = false };

    TrayApp()
    {
        var menu = new ContextMenuStrip();
        menu.Items.Add(status);
        menu.Items.Add(contrast);
        menu.Items.Add(new ToolStripMenuItem("Contrast 50", null, async (sender, e) => await Task.Run(() => session.SetContrast(50))));
        menu.Items.Add(new ToolStripSeparator());
        menu.Items.Add(new ToolStripMenuItem("Exit", null, (sender, e) => ExitThread()));
        icon.ContextMenuStrip = menu;
        session.Changed += OnChanged;  // on this (UI) thread: handlers run here
        session.HandlerFailed += (sender, e) => icon.ShowBalloonTip(3000, "Lmvx", e.Exception.Message, ToolTipIcon.Error);
        _ = StartAsync();
    }

    async Task StartAsync()
    {
        bool running = await session.StartAsync();
        status.Text = running ? "Connected" : "Not started: " + Session.GetStatus();
        if (running) await RefreshContrastAsync();
    }

    async Task RefreshContrastAsync()
    {
        uint? value = await Task.Run(() => session.GetContrast());
        contrast.Text = "Contrast: " + (value?.ToString() ?? "no value");
    }

    async void OnChanged(object? sender, SessionEventArgs e)
    {
        try
        {
            if (e.Type == EventType.Contrast) await RefreshContrastAsync();
            else if (e.Type == EventType.ServiceStatusChanged) status.Text = (await Task.Run(Session.GetStatus)).ToString();
        }
        catch (ObjectDisposedException) { }  // an event that was under way at exit
    }

    protected override void ExitThreadCore()
    {
        icon.Visible = false;
        icon.Dispose();
        session.Dispose();
        base.ExitThreadCore();
    }

    [STAThread]
    static void Main()
    {
        ApplicationConfiguration.Initialize();
        Application.Run(new TrayApp());
    }
}
