// The device's page: noVNC shows and touches the screen; the console's controls, state and
// timeline go through the page's server, which checks the console's token on every request.
import RFB from '/novnc/core/rfb.js';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

// One line says how things stand; the worst news wins.
const status = { server: true, console: '', screen: 'connecting to the device\'s screen…', tabs: 1 };
function showStatus() {
    let text = 'the device\'s screen, live: click, press or drag where a finger would touch';
    let trouble = true;
    if (!status.server) text = 'the device has stopped: its page server does not answer (start it again: ./run device --web)';
    else if (status.console) text = 'the console does not answer (' + status.console + '); retrying…';
    else if (status.screen) text = status.screen;
    else trouble = false;
    if (status.server && status.tabs > 1) text += ' · another tab is open on this device too: both can touch and control it';
    $('line').textContent = text;
    $('line').classList.toggle('trouble', trouble);
}

async function api(path, options = {}) {
    const headers = Object.assign({ 'X-Device-Token': token }, options.headers || {});
    const response = await fetch(path, Object.assign({}, options, { headers }));
    if (!response.ok) throw new Error(await response.text());
    return response.json();
}

// ---------------------------------------------------------------- the screen
let rfb = null;
async function connectScreen() {
    let screen;
    try {
        screen = await api('/api/screen');
    } catch (e) {
        status.server = false;
        showStatus();
        return setTimeout(connectScreen, 2000);
    }
    rfb = new RFB($('screen'), screen.ws, { credentials: { password: screen.password } });
    rfb.scaleViewport = false;
    rfb.resizeSession = false;
    rfb.addEventListener('connect', () => { status.screen = ''; showStatus(); });
    rfb.addEventListener('securityfailure', () => { status.screen = 'the screen refused this page\'s password'; showStatus(); });
    rfb.addEventListener('disconnect', () => {
        status.screen = 'the screen\'s connection ended: the device stopped or is restarting; trying again…';
        showStatus();
        rfb = null;
        setTimeout(connectScreen, 2000);
    });
}

// ---------------------------------------------------------------- the console
async function refreshState() {
    try {
        const state = await api('/api/state');
        status.server = true;
        status.tabs = state.tabs;
        status.console = state.ok ? '' : state.text;
        if (state.ok) $('state').textContent = state.lines.join('\n');
    } catch (e) {
        status.server = false;
    }
    showStatus();
    setTimeout(refreshState, 1000);
}

async function run(command) {
    $('answer').textContent = command + ' …';
    try {
        const done = await api('/api/do', { method: 'POST', body: JSON.stringify({ command }),
                                           headers: { 'Content-Type': 'application/json' } });
        const said = [done.text, ...(done.lines || [])].filter(Boolean).join(' · ');
        $('answer').textContent = command + ': ' + (done.ok ? said || 'done' : 'cannot: ' + said);
        $('answer').classList.toggle('refused', !done.ok);
    } catch (e) {
        $('answer').textContent = command + ': the page server does not answer';
        $('answer').classList.add('refused');
    }
}

function formCommand(template) {
    return template.replace(/\{(\w+)\}/g, (_, id) => $(id).value.trim());
}

for (const button of document.querySelectorAll('button')) {
    button.addEventListener('click', () => run(button.dataset.command || formCommand(button.dataset.form)));
}

// ---------------------------------------------------------------- the timeline
function follow() {
    const events = new EventSource('/api/watch');
    const timeline = $('timeline');
    const add = (text) => {
        const atEnd = timeline.scrollTop + timeline.clientHeight >= timeline.scrollHeight - 4;
        timeline.textContent = (timeline.textContent + text + '\n').split('\n').slice(-500).join('\n');
        if (atEnd) timeline.scrollTop = timeline.scrollHeight;
    };
    events.onmessage = (e) => add(e.data);
    events.addEventListener('gone', () => {
        add('— the console stopped; following again when it is back —');
        events.close();
        setTimeout(follow, 2000);
    });
}

showStatus();
connectScreen();
refreshState();
follow();
